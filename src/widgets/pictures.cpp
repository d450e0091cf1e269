#include "widgets/pictures.h"

#include "files/datapath.h"

#include "widgets/controls.h"
#include "widgets/preferences.h"

#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSvgRenderer>
#include <QVBoxLayout>

namespace quorvex {

QString picture_path(const QString &fileName)
{
    return data_path(QStringLiteral("pictures/") + fileName);
}

Picture::Picture(const QString &fileName, QWidget *parent)
    : QSvgWidget(picture_path(fileName), parent)
{
    renderer()->setAspectRatioMode(Qt::KeepAspectRatio);
    setMinimumSize(240, 160);
}

bool Picture::isValid() const
{
    return renderer()->isValid();
}

PictureWindow::PictureWindow(const char *name, const QString &title, const QString &fileName,
                             const QString &note, bool closeButton, QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QLatin1String(name));
    keep_geometry(this);
    setWindowTitle(title);
    auto *layout = new QVBoxLayout(this);
    m_picture = named(new Picture(fileName), "Picture1", title);
    layout->addWidget(m_picture, 1);
    if (!note.isEmpty()) {
        auto *text = named(new QLabel(note), "Label1");
        text->setWordWrap(true);
        layout->addWidget(text);
    }
    if (closeButton) {
        auto *hideButton = named(new QPushButton(QStringLiteral("OK")), "Command1");
        connect(hideButton, &QPushButton::clicked, this, &QWidget::hide);
        layout->addWidget(hideButton);
    }
    resize(660, 480);
}

} // namespace quorvex
