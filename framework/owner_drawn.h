#pragma once
// The native controls the launcher and the updater draw themselves: the four-state picture button
// (the launcher's caption and empty-list picture, every button of the updater), and the launcher's
// model search box.

#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

class QMenu;

namespace pavoline {

// A picture button whose picture is a strip of four equal states: 0 normal, 1 hover, 2 pressed,
// 3 disabled (the launcher never disables its buttons). Without a picture (a missing file) it keeps its size and draws its text instead, so a
// window without title bar never loses its caption buttons.
class CButtonExt : public QPushButton {
    Q_OBJECT
public:
    explicit CButtonExt(QWidget* parent = nullptr);
    // Keeps the top-left corner and takes the size of one state: strip width / 4 by its height.
    // A null picture changes nothing but the look.
    void SetPicture(const QPixmap& strip);
    void SetToolTipWindow(QWidget* window) { tooltipWindow_ = window; }
    void SetToolTipText(const QString& text) { tooltipText_ = text; }
    // 2 pressed, else 3 disabled, else 1 hovered, else 0.
    int StateIndex() const;
    bool IsHovered() const { return hover_; }
    const QString& ToolTipText() const { return tooltipText_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    // A button that moves away from a resting pointer gets no leave event.
    void moveEvent(QMoveEvent* event) override;

private:
    void showTip();

    QPixmap picture_;
    int stateWidth_ = 0;
    bool hover_ = false;
    QPointer<QWidget> tooltipWindow_;
    QString tooltipText_;
    QTimer tipDelay_;
};

// The model search box: its own font and colours, the hint "机型搜索" whenever it is empty and
// unfocused, and a Chinese context menu. The focus clears the hint, never the user's own text (the
// context menu gives the focus back when it closes).
class CSearchEdit : public QLineEdit {
    Q_OBJECT
    // For the style sheet: the box shows the hint, not a search.
    Q_PROPERTY(bool hint READ ShowsHint)
public:
    static constexpr int kUndo = 199, kCut = 768, kCopy = 769, kPaste = 770, kDelete = 771, kSelectAll = 0x7400;
    static const char* const kPlaceholder;

    explicit CSearchEdit(QWidget* parent = nullptr);
    // Puts the hint back, unless the user is typing in the box.
    void ShowHint();
    bool ShowsHint() const { return showsHint_; }
    // What the user searches for: empty while the hint is shown.
    QString SearchText() const { return showsHint_ ? QString() : text(); }
    // The menu as it would pop up now, each action carrying its command id as data.
    QMenu* BuildContextMenu();
    void RunCommand(int id);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void setShowsHint(bool shown);

    bool showsHint_ = false;
};

} // namespace pavoline
