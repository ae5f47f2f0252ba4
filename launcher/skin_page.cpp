#include "skin_page.h"

#include "creation_context.h"
#include "skin_loader.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainterPath>
#include <QScreen>
#include <QWindow>

namespace pavoline {
namespace {

constexpr int kCornerRadius = 6;

bool IsSwallowedKey(int key) {
    return key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
}

QWidget* OwnerOf(QWidget* dialog) {
    QWidget* owner = dialog->parentWidget() ? dialog->parentWidget()->window() : AppMainWindow();
    return owner != dialog ? owner : nullptr;
}

} // namespace

bool TickOnRowClick(const directui::SkinListItemNotify* record, directui::IList* list, const QString& boxPart) {
    if (record->code != directui::kListItemClicked || record->list != list) return false;
    directui::IListRow* row = list->Row(record->row);
    if (!row) return false;
    // The box ticks itself when it is clicked; the rest of the row ticks it when it is shown.
    directui::ISkinElement* box = row->Part(boxPart);
    if (record->part != boxPart && box->IsVisible()) box->SetCheck(!box->GetCheck());
    return true;
}

// A row not made yet was never shown, so nobody has ticked it.
std::vector<int> TickedRows(directui::IList* list, const QString& boxPart) {
    std::vector<int> rows;
    for (int i = 0; i < list->RowCount(); ++i) {
        directui::IListRow* row = list->MadeRow(i);
        if (!row) continue;
        directui::ISkinElement* box = row->Part(boxPart);
        if (box->IsVisible() && box->GetCheck()) rows.push_back(i);
    }
    return rows;
}

CSkinPage::CSkinPage(const char* formName, QWidget* parent) : QWidget(parent), MessageWindow(this) {
    form_ = AppSkin()->CreateForm(formName, this);
    Q_ASSERT(form_);
}

CSkinDialog::CSkinDialog(const char* formName, QWidget* parent) : QDialog(parent), MessageWindow(this) {
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    if (directui::ISkin* skin = AppSkin()) form_ = skin->CreateForm(formName, this);
    if (form_) setFixedSize(form_->Root()->size());
    qApp->installEventFilter(this);
}

void CSkinDialog::centreOnOwner() {
    QWidget* owner = OwnerOf(this);
    if (owner && owner->isVisible() && !owner->isMinimized()) {
        move(owner->frameGeometry().center() - rect().center());
        return;
    }
    const QRect area = screen() ? screen()->availableGeometry() : QRect(0, 0, 1024, 768);
    move(area.center() - rect().center());
}

int CSkinDialog::exec() {
    centreOnOwner();
    if (QWidget* owner = OwnerOf(this)) {
        winId(); // the native window, so that it can be owned
        if (windowHandle() && owner->windowHandle()) windowHandle()->setTransientParent(owner->windowHandle());
    }
    const ServingQueuedWhileLooping serving; // a worker's answer may be what closes it, as for the wait notice
    return QDialog::exec();
}

void CSkinDialog::done(int result) {
    ending_ = true;
    QDialog::done(result);
    ending_ = false;
}

bool CSkinDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && (widget == this || isAncestorOf(widget)) && IsSwallowedKey(static_cast<QKeyEvent*>(event)->key()))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CSkinDialog::closeEvent(QCloseEvent* event) {
    if (ending_) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    closedByUser();
}

void CSkinDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    // A rounded outline by a mask: without a compositor, translucent corners would show black.
    QPainterPath outline;
    outline.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    setMask(QRegion(outline.toFillPolygon().toPolygon()));
}

} // namespace pavoline
