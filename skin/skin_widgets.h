#pragma once
// The widgets behind skin elements.

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QMap>
#include <QPixmap>

namespace directui {

// A button that paints the picture of its state when pictures are set (slot 0 normal, 1 hover,
// 2 pressed, 3 checked, 4 focused), and a styled push button otherwise.
class SkinButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;
    void setStatePicture(int slot, const QPixmap& picture);
    bool hasPictures() const { return !pictures_.isEmpty(); }
    int shownSlot() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QMap<int, QPixmap> pictures_;
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

// A label that reports clicks (list row parts, pictures).
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

} // namespace directui
