#pragma once
// The widgets behind skin elements.

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QMap>
#include <QPixmap>

namespace directui {

// A button that paints the picture of its state when pictures are set (slot 0 normal, 1 pressed,
// 2 checked, 3 hover, 4 disabled; a state without a picture shows slot 0), and a styled push button
// otherwise.
class SkinButton : public QPushButton {
    Q_OBJECT
    // Readable by name, for callers that do not link the skin library.
    Q_PROPERTY(int shownSlot READ shownSlot)
public:
    using QPushButton::QPushButton;
    // A picture file for a state; read when the state is first painted, so that a page of phones
    // does not decode the pictures of states the user never brings about. A missing file leaves
    // the state without a picture.
    void setStatePicture(int slot, const QString& path);
    bool hasPictures() const { return !paths_.isEmpty(); }
    enum Slot { kNormal = 0, kPressed = 1, kChecked = 2, kHover = 3, kDisabled = 4 };
    int shownSlot() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QPixmap picture(int slot) const;

    QMap<int, QString> paths_;
    mutable QMap<int, QPixmap> decoded_;
    bool hover_ = false;
};

// A combo box that reports when its popup list opens.
class SkinComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void showPopup() override {
        emit popupOpened();
        QComboBox::showPopup();
    }
signals:
    void popupOpened();
};

// A label that reports clicks (list row parts, pictures). With wrapping anywhere it breaks lines
// between words where it can (after a path's separators too, so a path wraps at its folders) and
// inside a word only where it must, so a long path is shown whole instead of running out of the
// label.
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    void setWrapAnywhere(bool on) {
        wrapAnywhere_ = on;
        update();
    }
    bool wrapsAnywhere() const { return wrapAnywhere_; }
    // The height the text needs at that width, as it is drawn.
    int heightForWidth(int width) const override;
signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool wrapAnywhere_ = false;
};

} // namespace directui
