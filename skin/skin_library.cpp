// The skin library: forms built from "Pavoline.dui", styled by "Default.skn" (a Qt style sheet in
// which @SKIN@ stands for the skin's directory), elements driven through the interfaces of skin.h.
#include "skin.h"

#include "form_description.h"
#include "message_window.h"
#include "pictures.h"
#include "row_list.h"
#include "skin_widgets.h"
#include "ui_font.h"

#include <QApplication>
#include <QCache>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QDateTime>
#include <QFileInfo>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QListView>
#include <QPointer>
#include <QProgressBar>
#include <QScrollBar>
#include <QSet>
#include <QThread>
#include <QThreadPool>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <cstdio>
#include <memory>
#include <vector>

using pavoline::MessageWindow;
using pavoline::sendMessage;

namespace directui {
namespace {

class Form;

// Pictures made for labels, by file, its size and time on disk, and the room they were made for:
// a row scrolled back into view shows its picture at once instead of reading it again. Images,
// not pixmaps, so that the cache may outlive the application object. Cost in kilobytes.
QCache<QString, QImage>& MadePictures() {
    static QCache<QString, QImage> made(32 * 1024);
    return made;
}

QString MadePictureKey(const QString& file, bool scaled, QSize room, qreal ratio) {
    const QFileInfo info(file);
    return QString("%1|%2|%3|%4x%5|%6|%7")
        .arg(file)
        .arg(info.size())
        .arg(info.lastModified().toMSecsSinceEpoch())
        .arg(room.width())
        .arg(room.height())
        .arg(scaled)
        .arg(ratio);
}

// One element: a widget and everything the launcher may ask of it. Operations that do not fit the
// element's kind do nothing, so a page that drives the wrong kind cannot crash.
class Element : public ISkinElement,
                public IScrollBar,
                public IComboBox,
                public IList,
                public IProgressBar,
                public IHost {
public:
    Element(Form* form, const ElementSpec& spec, QWidget* widget) : form_(form), spec_(spec), widget_(widget) {
        if (widget_) base_ = widget_->geometry();
    }
    ~Element() override = default;

    // ISkinElement
    QString Name() const override { return spec_.name; }
    void SetVisible(int visible) override {
        if (widget_) widget_->setVisible(visible != 0);
    }
    bool IsVisible() const override { return widget_ && !widget_->isHidden(); }
    void SetText(const QString& text) override;
    QString GetText() const override;
    void SetStateImage(int slot, const QString& path) override {
        if (auto* button = qobject_cast<SkinButton*>(widget_)) button->setStatePicture(slot, path);
        else if (auto* label = qobject_cast<QLabel*>(widget_); label && slot == 0)
            LoadLabelPicture(label, path, spec_.attribute("scaled") == "1");
    }
    // A model's pictures come from its package or the server: they are read directly (a list of a
    // thousand thumbnails would only churn the pixmap cache) and decoded, and made to fit the label
    // keeping their proportions, on a pool thread, so that large ones never hold up the window.
    // They are made smaller where they must be, never larger (enlarged, a picture only blurs), and
    // a @2x picture beside one is taken on a dense screen. Only the last picture asked for reaches a
    // label that still exists: a list row given to another model never shows the one before.
    static void LoadLabelPicture(QLabel* label, const QString& path, bool scaled) {
        const int request = label->property("pictureRequest").toInt() + 1;
        label->setProperty("pictureRequest", request);
        label->clear();
        if (path.isEmpty()) return;
        const QSize room = label->contentsRect().size() - QSize(4, 4);
        const QString file = pavoline::PictureFileFor(path, label->devicePixelRatioF());
        const QString key = MadePictureKey(file, scaled, room, label->devicePixelRatioF());
        if (const QImage* made = MadePictures().object(key)) {
            label->setPixmap(QPixmap::fromImage(*made));
            return;
        }
        QPointer<QLabel> target(label);
        QThreadPool::globalInstance()->start([target, path, file, scaled, room, request, key] {
            QImage picture(file);
            if (file != path) picture.setDevicePixelRatio(2.0);
            const QSize natural = picture.deviceIndependentSize().toSize();
            if (scaled && !picture.isNull() && (natural.width() > room.width() || natural.height() > room.height())) {
                const qreal ratio = picture.devicePixelRatio();
                picture = picture.scaled(natural.scaled(room, Qt::KeepAspectRatio) * ratio, Qt::KeepAspectRatio,
                                         Qt::SmoothTransformation);
                picture.setDevicePixelRatio(ratio);
            }
            QMetaObject::invokeMethod(
                qApp,
                [target, picture, request, key] {
                    if (!picture.isNull())
                        MadePictures().insert(key, new QImage(picture), std::max<qsizetype>(1, picture.sizeInBytes() / 1024));
                    if (target && target->property("pictureRequest").toInt() == request)
                        target->setPixmap(QPixmap::fromImage(picture));
                },
                Qt::QueuedConnection);
        });
    }
    void SetTip(const QString& tip) override {
        if (widget_) widget_->setToolTip(tip);
    }
    int GetLayoutOffset() const override { return offset_; }
    void SetLayoutOffset(int dx) override {
        offset_ = dx;
        if (widget_) widget_->move(base_.topLeft() + QPoint(offset_, 0));
    }
    void Enable(bool enable) override {
        if (widget_) widget_->setEnabled(enable);
    }
    bool IsEnabled() const override { return widget_ && widget_->isEnabled(); }
    void SetCheck(bool checked) override {
        if (auto* button = qobject_cast<QAbstractButton*>(widget_)) button->setChecked(checked);
    }
    bool GetCheck() const override {
        auto* button = qobject_cast<QAbstractButton*>(widget_);
        return button && button->isChecked();
    }
    void Relayout() override;
    void Update() override {
        if (widget_) widget_->update();
    }
    IScrollBar* AsScrollBar() override;
    IComboBox* AsComboBox() override;
    IList* AsList() override;
    IProgressBar* AsProgressBar() override;
    IHost* AsHost() override;
    QWidget* Widget() override { return widget_; }

    // IScrollBar
    void SetScrollInfo(const ScrollInfo& info, bool) override {
        auto* bar = qobject_cast<QScrollBar*>(widget_);
        if (!bar) return;
        const QSignalBlocker quiet(bar);
        // The page size counts within the range: positions run from min to max - page + 1.
        bar->setRange(info.min, std::max(info.min, info.max - std::max(info.page, 1) + 1));
        bar->setPageStep(std::max(info.page, 1));
        bar->setValue(info.pos);
        // As with the platform's scroll bars: nothing to scroll once the page covers the range.
        bar->setEnabled(!(info.disableNoScroll && info.page > info.max - info.min));
    }
    void SetScrollPos(int pos, bool) override {
        if (auto* bar = qobject_cast<QScrollBar*>(widget_)) {
            const QSignalBlocker quiet(bar);
            bar->setValue(pos);
        }
    }
    int GetScrollPos() const override {
        auto* bar = qobject_cast<QScrollBar*>(widget_);
        return bar ? bar->value() : 0;
    }

    // IComboBox
    void Empty() override;
    void AddString(const QString& text) override {
        if (auto* combo = qobject_cast<QComboBox*>(widget_)) {
            const QSignalBlocker quiet(combo);
            combo->addItem(text);
        }
    }
    void SetCurSel(int index) override {
        if (auto* combo = qobject_cast<QComboBox*>(widget_)) {
            const QSignalBlocker quiet(combo);
            combo->setCurrentIndex(index);
        }
    }
    int GetCurSel() const override {
        auto* combo = qobject_cast<QComboBox*>(widget_);
        return combo ? combo->currentIndex() : -1;
    }
    QString GetItemText(int index) const override {
        auto* combo = qobject_cast<QComboBox*>(widget_);
        return combo ? combo->itemText(index) : QString();
    }
    int GetCount() const override {
        auto* combo = qobject_cast<QComboBox*>(widget_);
        return combo ? combo->count() : 0;
    }
    void ClosePopup() override {
        if (auto* combo = qobject_cast<QComboBox*>(widget_)) combo->hidePopup();
    }

    // IList
    void RemoveAll() override {
        if (RowList* list = rowList()) list->removeAll();
    }
    IListRow* AddRow(const QString& rowTemplate) override {
        RowList* list = rowList();
        return list ? list->add(rowTemplate) : nullptr;
    }
    bool SetRows(const QString& rowTemplate, int count, std::function<void(IListRow*)> fill) override {
        RowList* list = rowList();
        return list && list->setRows(rowTemplate, count, std::move(fill));
    }
    int RowCount() const override { return rowList() ? rowList()->count() : 0; }
    IListRow* Row(int index) override { return rowList() ? rowList()->row(index) : nullptr; }
    IListRow* MadeRow(int index) override { return rowList() ? rowList()->madeRow(index) : nullptr; }
    void ScrollToRow(int index) override {
        if (RowList* list = rowList()) list->scrollToRow(index);
    }
    void Redraw() override {
        if (RowList* list = rowList()) list->layOut(); // placed now, the rows in view all together
        Update();
    }

    // IProgressBar
    void SetRange(int low, int high) override {
        if (auto* bar = qobject_cast<QProgressBar*>(widget_)) bar->setRange(low, high);
    }
    void SetPos(int pos) override {
        QPointer<QProgressBar> bar = qobject_cast<QProgressBar*>(widget_);
        if (!bar) return;
        // A worker's progress is carried to the bar's own thread.
        if (bar->thread() == QThread::currentThread())
            bar->setValue(pos);
        else
            QMetaObject::invokeMethod(bar, [bar, pos] { if (bar) bar->setValue(pos); }, Qt::QueuedConnection);
    }
    int GetPos() const override {
        auto* bar = qobject_cast<QProgressBar*>(widget_);
        return bar ? bar->value() : 0;
    }
    void SetTextVisible(bool visible) override {
        if (auto* bar = qobject_cast<QProgressBar*>(widget_)) bar->setTextVisible(visible);
    }
    void SetDisplaySettings(int style, int stepMs) override {
        if (auto* bar = qobject_cast<QProgressBar*>(widget_)) {
            bar->setProperty("busyStyle", style);
            bar->setProperty("busyStep", stepMs);
        }
    }
    void StartBusy() override {
        if (auto* bar = qobject_cast<QProgressBar*>(widget_)) bar->setRange(0, 0); // Qt's own busy sweep
    }

    // IHost
    // The window taken out is hidden but stays the host's child: whoever put it in keeps it, and
    // it is deleted with the host at the latest, never by emptying it.
    QWidget* TakeWindow() override {
        QWidget* held = held_;
        held_ = nullptr;
        if (held && widget_) {
            held->hide();
            widget_->layout()->removeWidget(held);
        }
        return held;
    }
    void PutWindow(QWidget* window) override {
        if (!widget_ || !window) return;
        if (held_ && held_ != window) TakeWindow();
        held_ = window;
        window->setParent(widget_);
        widget_->layout()->addWidget(window);
        window->show();
    }
    void Show() override {
        if (widget_) widget_->show();
        if (held_) held_->show();
    }

    const ElementSpec& spec() const { return spec_; }
    QRect base() const { return base_; }
    bool anchored() const { return spec_.attributes.contains("anchor") || spec_.attributes.contains("vanchor"); }
    // Its place in a parent grown (or shrunk) by dx, dy from the size the skin gives the parent.
    void Reanchor(int dx, int dy) {
        QRect place(spec_.number("x"), spec_.number("y"), spec_.number("w", 10), spec_.number("h", 10));
        const QString across = spec_.attribute("anchor"), down = spec_.attribute("vanchor");
        if (across == "right") place.translate(dx, 0);
        if (across == "stretch") place.setWidth(std::max(1, place.width() + dx));
        if (down == "bottom") place.translate(0, dy);
        if (down == "stretch") place.setHeight(std::max(1, place.height() + dy));
        base_ = place;
        if (widget_) widget_->setGeometry(base_.translated(offset_, 0));
    }

private:
    Form* form_;
    ElementSpec spec_;
    QPointer<QWidget> widget_;
    QRect base_;
    int offset_ = 0;
    QPointer<QWidget> held_;
    RowList* rowList() const { return qobject_cast<RowList*>(widget_.data()); }
};

// The stand-in for a name the form does not have.
class NullElement : public Element {
public:
    NullElement() : Element(nullptr, ElementSpec{}, nullptr) {}
};

NullElement& Null() {
    static NullElement null;
    return null;
}

} // namespace

ISkinElement& StandIn() { return Null(); }

namespace {

IScrollBar* Element::AsScrollBar() { return qobject_cast<QScrollBar*>(widget_) ? this : static_cast<IScrollBar*>(&Null()); }
IComboBox* Element::AsComboBox() { return qobject_cast<QComboBox*>(widget_) ? this : static_cast<IComboBox*>(&Null()); }
IList* Element::AsList() { return spec_.kind == "list" && widget_ ? this : static_cast<IList*>(&Null()); }
IProgressBar* Element::AsProgressBar() {
    return qobject_cast<QProgressBar*>(widget_) ? this : static_cast<IProgressBar*>(&Null());
}
IHost* Element::AsHost() { return spec_.kind == "host" && widget_ ? this : static_cast<IHost*>(&Null()); }

void Element::SetText(const QString& text) {
    if (auto* label = qobject_cast<QLabel*>(widget_)) label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(widget_)) button->setText(text);
    else if (auto* combo = qobject_cast<QComboBox*>(widget_)) combo->setEditText(text);
    else if (auto* bar = qobject_cast<QProgressBar*>(widget_)) bar->setFormat(text);
}

QString Element::GetText() const {
    if (auto* label = qobject_cast<QLabel*>(widget_)) return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget_)) return button->text();
    if (auto* combo = qobject_cast<QComboBox*>(widget_)) return combo->currentText();
    return QString();
}

void Element::Empty() {
    if (auto* combo = qobject_cast<QComboBox*>(widget_)) {
        const QSignalBlocker quiet(combo);
        combo->clear();
    } else if (spec_.kind == "host") {
        TakeWindow();
    }
}

// Keeps a container's anchored children in place when the container's size differs from the size
// the skin gives it: "anchor"="right" keeps an element's distance to the right edge, "stretch" to
// both edges (its width follows); "vanchor"="bottom" or "stretch" likewise downwards.
class AnchorLayout : public QObject {
public:
    AnchorLayout(QWidget* container, QSize designed) : QObject(container), container_(container), designed_(designed) {
        container->installEventFilter(this);
    }
    void add(Element* element) { anchored_.push_back(element); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == container_ && event->type() == QEvent::Resize) apply();
        return false;
    }
    void apply() {
        const int dx = container_->width() - designed_.width(), dy = container_->height() - designed_.height();
        for (Element* element : anchored_) element->Reanchor(dx, dy);
    }

private:
    QWidget* container_;
    QSize designed_;
    std::vector<Element*> anchored_;
};

// Builds widgets from specs and routes their notifications to the host window.
class Form : public QObject, public ISkinForm {
public:
    Form(const SkinDescription& skin, const ElementSpec& spec, QWidget* host, const QString& styleSheet);
    // A host larger than the form (a maximised window) shows the form centred across its width.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize && watched == parent() && root_) fitToHost();
        // The wheel over a scroll bar pages like the wheel over its page; moving the bar alone
        // would leave the two showing different positions.
        if (event->type() == QEvent::Wheel)
            if (auto* bar = qobject_cast<QScrollBar*>(watched)) {
                const int delta = static_cast<QWheelEvent*>(event)->angleDelta().y();
                if (delta != 0)
                    notify(pavoline::WM_SKIN_SCROLL, delta > 0 ? kScrollPageBack : kScrollPageOn, bar->value());
                return true;
            }
        return QObject::eventFilter(watched, event);
    }
    // A resizable form ("resize"="1") fills its host, down to its smallest size; any other is
    // centred across the host's width, also when the host is narrower (its edges are then cut
    // equally on both sides).
    void fitToHost() {
        auto* host = static_cast<QWidget*>(parent());
        if (resizable_)
            root_->setGeometry(0, 0, std::max(host->width(), minimum_.width()), std::max(host->height(), minimum_.height()));
        else
            root_->move((host->width() - root_->width()) / 2, 0);
    }
    ISkinElement* FindElement(const QString& name, int flags) override;
    QWidget* Root() override { return root_; }

    // Makes the widget tree of spec under parent, registering named elements in into.
    QWidget* build(const ElementSpec& spec, QWidget* parent, QHash<QString, Element*>& into,
                   std::vector<std::unique_ptr<Element>>& owner);
    // A widget for a list's rows of that template: the row and its parts, which report their
    // clicks as list items only.
    std::unique_ptr<RowWidget> buildRow(const ElementSpec& spec, QWidget* parent) {
        QHash<QString, Element*> byName;
        std::vector<std::unique_ptr<Element>> built;
        auto row = std::make_unique<RowWidget>();
        row->widget = build(spec, parent, byName, built);
        row->self = std::move(built.front());
        for (size_t i = 1; i < built.size(); ++i) {
            QObject::disconnect(built[i]->Widget(), nullptr, this, nullptr);
            row->parts.push_back(std::move(built[i]));
        }
        return row;
    }
    const SkinDescription& skin() const { return skin_; }
    void notify(pavoline::UINT message, pavoline::WPARAM wParam, pavoline::LPARAM lParam) {
        sendMessage(notifyTarget_, message, wParam, lParam);
    }

private:
    const SkinDescription& skin_;
    MessageWindow* notifyTarget_;
    QPointer<QWidget> root_;
    bool resizable_ = false;
    QSize minimum_;
    std::vector<std::unique_ptr<Element>> elements_;
    QHash<QString, Element*> byName_;
    QSet<QString> reportedMissing_;
};

void Element::Relayout() {
    if (!widget_) return;
    if (QWidget* parent = widget_->parentWidget()) parent->update();
    widget_->update();
}

Form::Form(const SkinDescription& skin, const ElementSpec& spec, QWidget* host, const QString& styleSheet)
    : QObject(host), skin_(skin), notifyTarget_(dynamic_cast<MessageWindow*>(host)) {
    root_ = build(spec, host, byName_, elements_);
    root_->setObjectName(spec.name);
    QFont font = root_->font();
    font.setFamilies(pavoline::UiFontFamilies());
    font.setPixelSize(spec.number("fontsize", 14));
    root_->setFont(font);
    root_->setStyleSheet(styleSheet);
    root_->setGeometry(0, 0, spec.number("w", host->width()), spec.number("h", host->height()));
    // The smallest host that still shows all of the form ("minw", "minh"): a host placed in a
    // scroll area scrolls rather than cutting the form off on a small screen.
    resizable_ = spec.attribute("resize") == "1";
    minimum_ = QSize(spec.number("minw", root_->width()), spec.number("minh", root_->height()));
    host->setMinimumSize(minimum_);
    if (host->width() < root_->width() || host->height() < root_->height())
        host->resize(std::max(host->width(), root_->width()), std::max(host->height(), root_->height()));
    host->installEventFilter(this);
    fitToHost();
    root_->show();
}

ISkinElement* Form::FindElement(const QString& name, int) {
    if (Element* e = byName_.value(name)) return e;
    if (!reportedMissing_.contains(name)) {
        reportedMissing_.insert(name);
        std::fprintf(stderr, "skin: form %s has no element %s\n", qPrintable(root_ ? root_->objectName() : QString()),
                     qPrintable(name));
    }
    return &Null();
}

QWidget* Form::build(const ElementSpec& spec, QWidget* parent, QHash<QString, Element*>& into,
                     std::vector<std::unique_ptr<Element>>& owner) {
    const QString& kind = spec.kind;
    QWidget* widget = nullptr;
    auto sendClick = [this](Element* e) { notify(pavoline::WM_SKIN_CLICK, reinterpret_cast<pavoline::WPARAM>(e), 0); };
    Element* element = nullptr;
    auto wire = [&](auto* w) {
        widget = w;
        return w;
    };
    if (kind == "button" || kind == "tab") {
        auto* button = wire(new SkinButton(spec.attribute("text"), parent));
        button->setCheckable(kind == "tab");
        button->setAutoExclusive(kind == "tab");
        button->setCursor(Qt::PointingHandCursor);
        if (spec.attributes.contains("image")) button->setStatePicture(0, spec.attribute("image"));
    } else if (kind == "checkbox") {
        wire(new QCheckBox(spec.attribute("text"), parent));
    } else if (kind == "label" || kind == "image") {
        auto* label = wire(new ClickableLabel(spec.attribute("text"), parent));
        label->setWordWrap(spec.attribute("wrap") == "1");
        label->setWrapAnywhere(spec.attribute("wrap") == "any");
        const bool centred = spec.attribute("align", kind == "image" ? "center" : "left") == "center";
        label->setAlignment(centred ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
        if (spec.attributes.contains("image")) label->setPixmap(pavoline::LoadPicture(spec.attribute("image")));
    } else if (kind == "combobox") {
        auto* combo = wire(new SkinComboBox(parent));
        combo->view()->setObjectName("PopupSingleList_ComboBox");
    } else if (kind == "scrollbar") {
        wire(new QScrollBar(spec.attribute("orientation") == "vertical" ? Qt::Vertical : Qt::Horizontal, parent));
    } else if (kind == "progress") {
        auto* bar = wire(new QProgressBar(parent));
        bar->setRange(0, 100);
        bar->setTextVisible(false);
    } else if (kind == "list") {
        auto* area = wire(new RowList(spec.number("spacing", 0), skin_.rows,
                                      [this](const ElementSpec& row, QWidget* in) { return buildRow(row, in); }, parent));
        area->setFrameShape(QFrame::NoFrame);
        // The bar keeps its room when there is nothing to scroll (then drawn as nothing), so the
        // rows' right-hand parts stay where they are as it comes and goes.
        area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        QScrollBar* bar = area->verticalScrollBar();
        QObject::connect(bar, &QScrollBar::rangeChanged, bar, [bar](int min, int max) { bar->setEnabled(max > min); });
        bar->setEnabled(false);
    } else if (kind == "host") {
        auto* host = wire(new QWidget(parent));
        auto* layout = new QVBoxLayout(host);
        layout->setContentsMargins(0, 0, 0, 0);
    } else {
        wire(new QWidget(parent)); // form, row, container
        widget->setAttribute(Qt::WA_StyledBackground);
    }
    widget->setObjectName(spec.name);
    if (spec.attributes.contains("class")) widget->setProperty("class", spec.attribute("class"));
    if (spec.attributes.contains("tip")) widget->setToolTip(spec.attribute("tip"));
    widget->setGeometry(spec.number("x"), spec.number("y"), spec.number("w", 10), spec.number("h", 10));
    if (spec.attribute("visible", "1") == "0") widget->hide(); // the others show with their parent

    owner.push_back(std::make_unique<Element>(this, spec, widget));
    element = owner.back().get();
    if (!spec.name.isEmpty()) into.insert(spec.name, element);

    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        QObject::connect(button, &QAbstractButton::clicked, this, [sendClick, element] { sendClick(element); });
    if (auto* list = qobject_cast<RowList*>(widget))
        list->onClicked([this, element](int row, const QString& part) {
            SkinListItemNotify record;
            record.list = element;
            record.row = row;
            record.part = part;
            notify(pavoline::WM_SKIN_LISTITEM, reinterpret_cast<pavoline::WPARAM>(&record), 0);
        });
    if (auto* label = qobject_cast<ClickableLabel*>(widget); label && spec.attribute("clickable") == "1")
        QObject::connect(label, &ClickableLabel::clicked, this, [sendClick, element] { sendClick(element); });
    if (auto* combo = qobject_cast<SkinComboBox*>(widget)) {
        // Every choice the user makes, also of the entry already selected.
        QObject::connect(combo, qOverload<int>(&QComboBox::activated), this, [this, element](int) {
            notify(pavoline::WM_SKIN_SELCHANGE, reinterpret_cast<pavoline::WPARAM>(element), 0);
        });
        QObject::connect(combo, &SkinComboBox::popupOpened, this, [this, element] {
            notify(pavoline::WM_SKIN_POPUP, reinterpret_cast<pavoline::WPARAM>(element), 0);
        });
    }
    if (auto* bar = qobject_cast<QScrollBar*>(widget)) {
        QObject::connect(bar, &QAbstractSlider::actionTriggered, this, [this, bar](int action) {
            int code = -1;
            switch (action) {
            case QAbstractSlider::SliderSingleStepSub: code = kScrollLineBack; break;
            case QAbstractSlider::SliderSingleStepAdd: code = kScrollLineOn; break;
            case QAbstractSlider::SliderPageStepSub: code = kScrollPageBack; break;
            case QAbstractSlider::SliderPageStepAdd: code = kScrollPageOn; break;
            case QAbstractSlider::SliderMove: code = kScrollThumbMoving; break;
            default: break;
            }
            if (code < 0) return;
            if (code == kScrollThumbMoving) {
                notify(pavoline::WM_SKIN_SCROLL, static_cast<pavoline::WPARAM>(code), bar->sliderPosition());
                return;
            }
            // Steps and pages report the position before the move and leave moving to the host,
            // as the platform's scroll bars do.
            const int before = bar->value();
            bar->setSliderPosition(before);
            notify(pavoline::WM_SKIN_SCROLL, static_cast<pavoline::WPARAM>(code), before);
        });
        QObject::connect(bar, &QAbstractSlider::sliderReleased, this, [this, bar] {
            notify(pavoline::WM_SKIN_SCROLL, kScrollThumbReleased, bar->sliderPosition());
        });
        bar->installEventFilter(this);
    }
    AnchorLayout* anchors = nullptr;
    for (const ElementSpec& child : spec.children) {
        const size_t at = owner.size();
        build(child, widget, into, owner);
        Element* built = owner[at].get(); // a child's own element comes before its descendants'
        if (!built->anchored()) continue;
        if (!anchors)
            anchors = new AnchorLayout(widget, QSize(spec.number("w", widget->width()), spec.number("h", widget->height())));
        anchors->add(built);
    }
    return widget;
}

class Skin : public ISkin {
public:
    Skin(SkinDescription description, QString styleSheet)
        : description_(std::move(description)), styleSheet_(std::move(styleSheet)) {}
    ISkinForm* CreateForm(const QString& formName, QWidget* host) override {
        if (!host || !description_.forms.contains(formName)) {
            std::fprintf(stderr, "skin: no form %s\n", qPrintable(formName));
            return nullptr;
        }
        return new Form(description_, description_.forms[formName], host, styleSheet_);
    }

private:
    SkinDescription description_;
    QString styleSheet_;
};

std::unique_ptr<Skin>& TheSkin() {
    static std::unique_ptr<Skin> skin;
    return skin;
}

QString InSkinDirectory(const wchar_t* name) {
    const QString file = QString::fromWCharArray(name ? name : L"");
    return QFileInfo(file).isAbsolute() ? file : QDir(QCoreApplication::applicationDirPath()).filePath(file);
}

// Pictures named in the description lie beside it, wherever the program was started from.
void ResolvePictures(ElementSpec& spec, const QDir& skinDirectory) {
    if (spec.attributes.contains("image")) spec.attributes["image"] = skinDirectory.filePath(spec.attribute("image"));
    for (ElementSpec& child : spec.children) ResolvePictures(child, skinDirectory);
}

} // namespace
} // namespace directui

extern "C" DIRECTUI_EXPORT directui::ISkin* OpenSkinW(const wchar_t* description, const wchar_t* skin, int, int, int) {
    using namespace directui;
    QFile dui(InSkinDirectory(description));
    QFile skn(InSkinDirectory(skin));
    if (!dui.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "skin: cannot read %s\n", qPrintable(dui.fileName()));
        return nullptr;
    }
    QString error;
    std::optional<SkinDescription> parsed = ParseSkinDescription(dui.readAll(), &error);
    if (!parsed) {
        std::fprintf(stderr, "skin: %s: %s\n", qPrintable(dui.fileName()), qPrintable(error));
        return nullptr;
    }
    const QDir pictures = QFileInfo(dui.fileName()).absoluteDir();
    for (auto* group : {&parsed->forms, &parsed->rows})
        for (ElementSpec& spec : *group) ResolvePictures(spec, pictures);
    QString styleSheet;
    if (skn.open(QIODevice::ReadOnly)) styleSheet = QString::fromUtf8(skn.readAll());
    styleSheet.replace("@SKIN@", QFileInfo(skn.fileName()).absolutePath());
    TheSkin() = std::make_unique<Skin>(std::move(*parsed), styleSheet);
    return TheSkin().get();
}

extern "C" DIRECTUI_EXPORT void FreeSkin() {
    directui::TheSkin().reset();
    directui::MadePictures().clear();
}
