# Project-wide warning flags; CI turns them into errors with -DQUORVEX_WERROR=ON.
add_compile_options(-Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wpedantic)
if(QUORVEX_WERROR)
    add_compile_options(-Werror)
endif()
