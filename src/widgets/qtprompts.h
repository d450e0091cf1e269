#pragma once

#include "widgets/prompts.h"

class QWidget;

namespace quorvex {

// Real modal message boxes and the default printer.
class QtPrompts : public Prompts
{
public:
    explicit QtPrompts(QWidget *parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget *parent) { m_parent = parent; }

    void message(const QString &text, const QString &title, Icon icon) override;
    bool question(const QString &text, const QString &title) override;
    bool print(const QStringList &lines, QString *reason) override;
    QString saveFileName(const QString &caption, const QString &directory,
                         const QStringList &filters) override;
    QString textInput(const QString &label, const QString &title, const QString &initial) override;
    QString openFileName(const QString &caption, const QString &directory,
                         const QStringList &filters) override;

private:
    QWidget *m_parent = nullptr;
};

} // namespace quorvex
