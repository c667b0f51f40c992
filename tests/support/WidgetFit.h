// Whether a window shows all it holds at the current font and scale: every control that is
// shown lies inside its parent and the window, is at least as large as it says it must be (a
// caption as large as its text), and covers none of its siblings.
#pragma once

#include <string>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QSlider>
#include <QWidget>

#include <gtest/gtest.h>

namespace testsupport {

// A control the user reads or works, not a part of one (a spin box's text, a list's scroll bar).
inline bool IsControl(const QWidget* w) {
    for (const QWidget* p = w->parentWidget(); p; p = p->parentWidget())
        if (qobject_cast<const QAbstractSpinBox*>(p) || qobject_cast<const QComboBox*>(p) ||
            qobject_cast<const QAbstractItemView*>(p))
            return false;
    return qobject_cast<const QLabel*>(w) || qobject_cast<const QAbstractButton*>(w) ||
           qobject_cast<const QLineEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
           qobject_cast<const QComboBox*>(w) || qobject_cast<const QSlider*>(w) ||
           qobject_cast<const QAbstractItemView*>(w);
}

inline std::string NameOf(const QWidget* w) {
    const QString name = w->objectName();
    return (name.isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : name)
        .toStdString();
}

// Checks the controls of window that are shown now (a tab widget's other pages are not).
inline void ExpectNothingClipped(const QWidget* window) {
    QList<const QWidget*> shown;
    for (const QWidget* w : window->findChildren<QWidget*>())
        if (w->isVisibleTo(window) && IsControl(w)) shown.push_back(w);
    ASSERT_FALSE(shown.isEmpty()) << NameOf(window) << " shows no control";
    for (const QWidget* c : shown) {
        const std::string name = NameOf(c);
        const QRect inWindow(c->mapTo(window, QPoint(0, 0)), c->size());
        EXPECT_TRUE(window->rect().contains(inWindow)) << name << " leaves the window";
        EXPECT_TRUE(c->parentWidget()->rect().contains(c->geometry()))
            << name << " leaves " << NameOf(c->parentWidget());
        const QSize least = c->minimumSizeHint();
        EXPECT_GE(c->width(), least.width()) << name << " is too narrow";
        EXPECT_GE(c->height(), least.height()) << name << " is too low";
        const auto* label = qobject_cast<const QLabel*>(c);
        const auto* button = qobject_cast<const QAbstractButton*>(c);
        if ((label && !label->text().isEmpty()) || (button && !button->text().isEmpty())) {
            // Captions: all of the text, in its whole height.
            EXPECT_GE(c->width(), c->sizeHint().width()) << name << "'s caption is cut";
            EXPECT_GE(c->height(), c->fontMetrics().height()) << name << "'s caption is cut";
        }
        for (const QWidget* other : shown) {
            if (other != c && other->parentWidget() == c->parentWidget()) {
                EXPECT_FALSE(c->geometry().intersects(other->geometry()))
                    << name << " covers " << NameOf(other);
            }
        }
    }
}

} // namespace testsupport
