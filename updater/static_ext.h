#pragma once
// The updater's check control: three pictures (normal, hover, checked), checked before hover
// before normal, and its text drawn after them from a small indent. A click is reported; the
// owner decides what the check means and sets it.

#include <QPixmap>
#include <QWidget>

namespace pavoline::updater {

class CStaticExt : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTextIndent = 16;

    explicit CStaticExt(QWidget* parent = nullptr);
    void SetPictures(const QPixmap& normal, const QPixmap& hover, const QPixmap& checked);
    void SetChecked(bool checked);
    bool IsChecked() const { return checked_; }
    void SetText(const QString& text);
    // 2 checked, else 1 hovered, else 0.
    int StateIndex() const { return checked_ ? 2 : hover_ ? 1 : 0; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPixmap pictures_[3];
    bool checked_ = false;
    bool hover_ = false;
    QString text_;
};

} // namespace pavoline::updater
