#pragma once

#include <QSvgWidget>
#include <QWidget>

namespace quorvex {

// A picture shipped with the program (in share/quorvex/pictures/).
QString picture_path(const QString &fileName);

// A drawing that keeps its proportions and stays sharp at any size (it is drawn from its SVG).
class Picture : public QSvgWidget
{
    Q_OBJECT
public:
    explicit Picture(const QString &fileName, QWidget *parent = nullptr);
    // False when the picture is missing or does not parse.
    bool isValid() const;
};

// A window that shows one explanatory picture, with a note under it, and a button that hides
// it when `closeButton` is set.
class PictureWindow : public QWidget
{
    Q_OBJECT
public:
    PictureWindow(const char *name, const QString &title, const QString &fileName,
                  const QString &note, bool closeButton, QWidget *parent = nullptr);
    const Picture *picture() const { return m_picture; }

private:
    Picture *m_picture = nullptr;
};

} // namespace quorvex
