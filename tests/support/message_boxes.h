#pragma once
// Answers the message boxes that an action opens, and collects their texts.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

#include <functional>

// The texts of the message boxes opened while `action` runs; each is answered at once with the
// button `reply` when it has one, else with its default button.
inline QStringList messagesDuring(const std::function<void()>& action,
                                  QMessageBox::StandardButton reply = QMessageBox::NoButton)
{
    QStringList seen;
    QTimer answer; // fires only inside a box's own event loop
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen << box->text();
            if (QAbstractButton* button = box->button(reply))
                button->click();
            else if (QPushButton* fallback = box->defaultButton())
                fallback->click();
            else
                box->accept();
        }
    });
    answer.start(0);
    action();
    return seen;
}
