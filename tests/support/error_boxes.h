#pragma once

#include <vector>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

// Closes every modal message box that opens while it lives, with its Ok
// button, and keeps what each one showed.
class ErrorBoxes : public QObject {
public:
    struct Box {
        QString title;
        QString text;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        bool hasParent;
    };

    ErrorBoxes() { look(); }

    // The last line of error handling's box: titled "Error", with exactly the
    // message, Ok only, and no parent window.
    static void expectErrorBox(const Box &box, const QString &message)
    {
        EXPECT_EQ(box.title, "Error");
        EXPECT_EQ(box.text, message);
        EXPECT_EQ(box.icon, QMessageBox::Critical);
        EXPECT_EQ(box.buttons, QMessageBox::Ok);
        EXPECT_FALSE(box.hasParent);
    }

    // The boxes seen once `count` of them have been closed (or five seconds
    // have passed), and then a little longer, so that one too many shows.
    const std::vector<Box> &waitFor(std::size_t count)
    {
        (void)QTest::qWaitFor([&] { return boxes_.size() >= count; }, 5000);
        QTest::qWait(100);
        return boxes_;
    }
    const std::vector<Box> &seen() const { return boxes_; }

private:
    void look()
    {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            boxes_.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
                              box->parentWidget() != nullptr});
            box->button(QMessageBox::Ok)->click();
        }
        QTimer::singleShot(10, this, [this] { look(); });
    }

    std::vector<Box> boxes_;
};
