cmake_minimum_required(VERSION 3.25)
# Run as a test (cmake -DROOT=<source dir> -P CheckIncludes.cmake): every quoted include names
# the folder its header lives in ("link/protocol.h", "sim/simengine.h", "support/simports.h"),
# except a test's or benchmark's own helper next to it, and each folder of src/ and sim/ includes
# only from the folders below it. Prints every include that breaks either and fails.

# What each folder may include from, besides itself.
set(allowed_files "")
set(allowed_link "")
set(allowed_livedata "link")
set(allowed_diagnostics "livedata;link;files")
set(allowed_monitor "livedata;link")
set(allowed_widgets "files")
set(allowed_windows "widgets;monitor;diagnostics;livedata;link;files")
set(allowed_app "windows;widgets;monitor;diagnostics;livedata;link;files;sim")
set(allowed_sim "files;link")

file(GLOB_RECURSE sources RELATIVE ${ROOT}
    ${ROOT}/src/*.cpp ${ROOT}/src/*.h ${ROOT}/sim/*.cpp ${ROOT}/sim/*.h
    ${ROOT}/tests/*.cpp ${ROOT}/tests/*.h ${ROOT}/bench/*.cpp ${ROOT}/bench/*.h
    ${ROOT}/packaging/*.cpp)
set(broken "")
foreach(source ${sources})
    file(STRINGS ${ROOT}/${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    get_filename_component(dir ${source} DIRECTORY)
    string(REGEX MATCH "^(src/[a-z]+|sim)" owner "${source}")
    string(REGEX REPLACE "^src/" "" owner "${owner}")
    foreach(line ${lines})
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" header "${line}")
        if(header MATCHES "\\.moc$")
            continue()
        endif()
        if(NOT header MATCHES "/")
            if(source MATCHES "^(tests|bench)/" AND EXISTS ${ROOT}/${dir}/${header})
                continue()
            endif()
            list(APPEND broken "${source}: \"${header}\" does not name its folder")
            continue()
        endif()
        if(owner)
            string(REGEX MATCH "^[a-z]+" from "${header}")
            if(NOT from STREQUAL owner AND NOT from IN_LIST allowed_${owner})
                list(APPEND broken "${source}: ${owner}/ may not include \"${header}\"")
            endif()
        endif()
    endforeach()
endforeach()
if(broken)
    list(JOIN broken "\n" text)
    message(FATAL_ERROR "Includes:\n${text}")
endif()
