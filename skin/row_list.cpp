#include "row_list.h"

#include "skin_widgets.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QScrollBar>

#include <algorithm>

namespace directui {
namespace {

constexpr int kWheelStep = 20; // pixels per step of the wheel and the arrows, as Qt's scroll areas

// The template's elements below the row, in the order the form builds them (each before its
// children): the order in which a row's parts are addressed by index.
void CollectParts(const ElementSpec& spec, RowShape& shape) {
    for (const ElementSpec& child : spec.children) {
        PartState state;
        state.text = child.attribute("text");
        if (child.attributes.contains("image")) state.pictures.insert(0, child.attribute("image"));
        state.visible = child.attribute("visible", "1") != "0";
        if (!child.name.isEmpty()) shape.byName.insert(child.name, static_cast<int>(shape.names.size()));
        shape.names << child.name;
        shape.first.push_back(state);
        CollectParts(child, shape);
    }
}

} // namespace

// ---- RowPart ----------------------------------------------------------------------------------

void RowPart::SetVisible(int visible) {
    state_.visible = visible != 0;
    if (shown_) shown_->SetVisible(visible);
}

void RowPart::SetText(const QString& text) {
    state_.text = text;
    if (shown_) shown_->SetText(text);
}

void RowPart::SetStateImage(int slot, const QString& path) {
    state_.pictures.insert(slot, path);
    if (!shown_) return;
    shown_->SetStateImage(slot, path);
    shownPictures_->insert(slot, path);
}

void RowPart::SetTip(const QString& tip) {
    state_.tip = tip;
    if (shown_) shown_->SetTip(tip);
}

void RowPart::SetLayoutOffset(int dx) {
    state_.offset = dx;
    if (shown_) shown_->SetLayoutOffset(dx);
}

void RowPart::Enable(bool enable) {
    state_.enabled = enable;
    if (shown_) shown_->Enable(enable);
}

void RowPart::SetCheck(bool checked) {
    state_.checked = checked;
    if (shown_) shown_->SetCheck(checked);
}

void RowPart::Relayout() {
    if (shown_) shown_->Relayout();
}

void RowPart::Update() {
    if (shown_) shown_->Update();
}

QWidget* RowPart::Widget() {
    list_->layOutIfChanged(); // a row just made or scrolled to gets its widget now
    return shown_ ? shown_->Widget() : nullptr;
}

void RowPart::ShowOn(ISkinElement* part, QMap<int, QString>* shownPictures) {
    shown_ = part;
    shownPictures_ = shownPictures;
    if (!part) return;
    // Only what differs: a label given a text loses its picture, a picture given again is read again.
    if (part->GetText() != state_.text) part->SetText(state_.text);
    part->SetTip(state_.tip);
    part->SetVisible(state_.visible ? -1 : 0);
    part->Enable(state_.enabled);
    part->SetCheck(state_.checked);
    if (part->GetLayoutOffset() != state_.offset) part->SetLayoutOffset(state_.offset);
    // Every picture the widget showed for the row before is replaced, so none of it stays.
    const QList<int> pictureSlots = shownPictures->keys() + state_.pictures.keys();
    for (int slot : pictureSlots) {
        const QString wanted = state_.pictures.value(slot);
        if (shownPictures->value(slot) == wanted) continue; // none and an empty path alike
        part->SetStateImage(slot, wanted);
        shownPictures->insert(slot, wanted);
    }
}

// ---- RowRecord --------------------------------------------------------------------------------

RowRecord::RowRecord(RowList* list, const RowShape* shape, int index) : shape_(shape), index_(index) {
    parts_.reserve(shape->first.size());
    for (size_t i = 0; i < shape->first.size(); ++i) parts_.emplace_back(list, shape->names[static_cast<int>(i)], shape->first[i]);
}

ISkinElement* RowRecord::Part(const QString& name) {
    const auto found = shape_->byName.constFind(name);
    return found == shape_->byName.constEnd() ? &StandIn() : &parts_[static_cast<size_t>(*found)];
}

ISkinElement* RowRecord::PartAt(int index) {
    return index >= 0 && index < PartCount() ? static_cast<ISkinElement*>(&parts_[static_cast<size_t>(index)]) : &StandIn();
}

// ---- RowList ----------------------------------------------------------------------------------

RowList::RowList(int spacing, const QHash<QString, ElementSpec>& templates, RowBuilder build, QWidget* parent)
    : QScrollArea(parent), spacing_(spacing), templates_(templates), build_(std::move(build)),
      holder_(new QWidget(viewport())) {
    verticalScrollBar()->setSingleStep(kWheelStep);
    horizontalScrollBar()->setSingleStep(kWheelStep);
}

// The rows' widgets go first, while the records their signals reach still exist.
RowList::~RowList() { delete holder_; }

const RowShape* RowList::shapeFor(const QString& rowTemplate) {
    auto known = knownShapes_.find(rowTemplate);
    if (known != knownShapes_.end()) return known->second.get();
    const auto spec = templates_.constFind(rowTemplate);
    if (spec == templates_.constEnd()) return nullptr;
    auto shape = std::make_unique<RowShape>();
    shape->spec = &*spec;
    shape->resizable = spec->attribute("resize") == "1";
    shape->size = QSize(spec->number("w", 100), spec->number("h", 40));
    shape->minWidth = spec->number("minw", shape->size.width());
    CollectParts(*spec, *shape);
    return knownShapes_.emplace(rowTemplate, std::move(shape)).first->second.get();
}

void RowList::removeAll() {
    for (auto& widget : pool_) {
        unbind(widget.get());
        widget->widget->hide();
    }
    rows_.clear();
    shapes_.clear();
    tops_.clear();
    widest_ = 0;
    fill_ = nullptr;
    changed();
    verticalScrollBar()->setValue(0); // a new listing starts at its top
}

int RowList::nextTop() const { return tops_.empty() ? 0 : tops_.back() + shapes_.back()->size.height() + spacing_; }

RowRecord* RowList::add(const QString& rowTemplate) {
    const RowShape* shape = shapeFor(rowTemplate);
    if (!shape) return nullptr;
    tops_.push_back(nextTop());
    shapes_.push_back(shape);
    widest_ = std::max(widest_, shape->resizable ? shape->minWidth : shape->size.width());
    rows_.push_back(std::make_unique<RowRecord>(this, shape, count() - 1));
    changed();
    return rows_.back().get();
}

bool RowList::setRows(const QString& rowTemplate, int count, std::function<void(IListRow*)> fill) {
    const RowShape* shape = shapeFor(rowTemplate);
    if (!shape) return false;
    removeAll();
    const int n = std::max(count, 0);
    rows_.resize(static_cast<size_t>(n));
    shapes_.assign(static_cast<size_t>(n), shape);
    tops_.resize(static_cast<size_t>(n));
    const int step = shape->size.height() + spacing_;
    for (int i = 0; i < n; ++i) tops_[static_cast<size_t>(i)] = i * step;
    widest_ = shape->resizable ? shape->minWidth : shape->size.width();
    fill_ = std::move(fill);
    changed();
    return true;
}

RowRecord* RowList::row(int index) {
    if (index < 0 || index >= count()) return nullptr;
    std::unique_ptr<RowRecord>& record = rows_[static_cast<size_t>(index)];
    if (!record) {
        record = std::make_unique<RowRecord>(this, shapes_[static_cast<size_t>(index)], index);
        if (fill_) fill_(record.get());
    }
    return record.get();
}

RowRecord* RowList::madeRow(int index) const {
    return index >= 0 && index < count() ? rows_[static_cast<size_t>(index)].get() : nullptr;
}

void RowList::scrollToRow(int index) {
    if (index < 0 || index >= count()) return;
    layOut();
    const int top = tops_[static_cast<size_t>(index)], bottom = top + shapes_[static_cast<size_t>(index)]->size.height();
    const int height = visibleArea().height();
    QScrollBar* bar = verticalScrollBar();
    if (top < bar->value()) bar->setValue(top);
    else if (bottom > bar->value() + height) bar->setValue(bottom - height);
    layOut();
}

// Placed once the caller is done changing the list, or at once when a widget is asked for.
void RowList::changed() {
    changed_ = true;
    if (layOutPosted_) return;
    layOutPosted_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            layOutPosted_ = false;
            layOutIfChanged();
        },
        Qt::QueuedConnection);
}

// The viewport as it will be, also before the list was first shown and laid out.
QSize RowList::visibleArea() const {
    QSize area = maximumViewportSize();
    if (widest_ > area.width() && horizontalScrollBarPolicy() != Qt::ScrollBarAlwaysOff)
        area.rheight() -= horizontalScrollBar()->sizeHint().height();
    return area.expandedTo(QSize(0, 0));
}

int RowList::rowWidth(const RowShape& shape, const QSize& area) const {
    return shape.resizable ? std::max(area.width(), shape.minWidth) : shape.size.width();
}

void RowList::updateScrollBars(const QSize& area) {
    const int total = tops_.empty() ? 0 : tops_.back() + shapes_.back()->size.height();
    QScrollBar* down = verticalScrollBar();
    down->setRange(0, std::max(0, total - area.height()));
    down->setPageStep(std::max(1, area.height()));
    QScrollBar* across = horizontalScrollBar();
    across->setRange(0, std::max(0, widest_ - area.width()));
    across->setPageStep(std::max(1, area.width()));
}

void RowList::layOut() {
    if (layingOut_) return; // a scroll bar clamped while placing: the rows are placed after it
    layingOut_ = true;
    changed_ = false;
    const QSize area = visibleArea();
    updateScrollBars(area);
    placeRows(area);
    layingOut_ = false;
}

// The rows that touch the visible area get widgets; the others give theirs back to the pool.
void RowList::placeRows(const QSize& area) {
    holder_->setGeometry(QRect(QPoint(0, 0), area));
    const int y = verticalScrollBar()->value(), x = horizontalScrollBar()->value();
    int first = 0, end = 0;
    if (!tops_.empty()) {
        first = std::max(0, static_cast<int>(std::upper_bound(tops_.begin(), tops_.end(), y) - tops_.begin()) - 1);
        end = static_cast<int>(std::lower_bound(tops_.begin(), tops_.end(), y + std::max(area.height(), 1)) - tops_.begin());
    }
    for (auto& widget : pool_)
        if (widget->bound >= 0 && (widget->bound < first || widget->bound >= end)) unbind(widget.get());
    for (int i = first; i < end; ++i) {
        RowRecord* record = row(i);
        if (!record->shownBy) bind(record, freeWidget(record->shape()));
    }
    for (auto& widget : pool_) {
        if (widget->bound < 0) {
            widget->widget->hide();
            continue;
        }
        const RowShape& shape = *widget->shape;
        widget->widget->setGeometry(-x, tops_[static_cast<size_t>(widget->bound)] - y, rowWidth(shape, area), shape.size.height());
        widget->widget->show();
    }
}

RowWidget* RowList::freeWidget(const RowShape* shape) {
    for (auto& widget : pool_)
        if (widget->bound < 0 && widget->shape == shape) return widget.get();
    std::unique_ptr<RowWidget> made = build_(*shape->spec, holder_);
    made->shape = shape;
    if (shape->resizable) {
        made->widget->setFixedHeight(shape->size.height());
        made->widget->setMinimumWidth(shape->minWidth);
    } else {
        made->widget->setFixedSize(shape->size);
    }
    for (size_t i = 0; i < made->parts.size(); ++i) made->shownPictures.push_back(shape->first[i].pictures);
    RowWidget* widget = made.get();
    for (size_t i = 0; i < widget->parts.size(); ++i) {
        QWidget* part = widget->parts[i]->Widget();
        const QString name = shape->names[static_cast<int>(i)];
        auto report = [this, widget, name] {
            if (widget->bound >= 0 && clicked_) clicked_(widget->bound, name);
        };
        if (auto* label = qobject_cast<ClickableLabel*>(part)) connect(label, &ClickableLabel::clicked, this, report);
        if (auto* button = qobject_cast<QAbstractButton*>(part)) {
            connect(button, &QAbstractButton::clicked, this, report);
            // The user's tick is the row's, wherever it scrolls.
            connect(button, &QAbstractButton::toggled, this, [this, widget, i](bool on) {
                if (RowRecord* record = madeRow(widget->bound)) record->part(i).KeepCheck(on);
            });
        }
    }
    pool_.push_back(std::move(made));
    return widget;
}

void RowList::bind(RowRecord* record, RowWidget* widget) {
    widget->bound = record->Index();
    record->shownBy = widget;
    for (size_t i = 0; i < widget->parts.size(); ++i) record->part(i).ShowOn(widget->parts[i].get(), &widget->shownPictures[i]);
}

void RowList::unbind(RowWidget* widget) {
    if (RowRecord* record = madeRow(widget->bound)) {
        record->shownBy = nullptr;
        for (size_t i = 0; i < widget->parts.size(); ++i) record->part(i).ShowOn(nullptr, nullptr);
    }
    widget->bound = -1;
}

void RowList::scrollContentsBy(int, int) { layOut(); }

void RowList::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    layOut();
}

void RowList::showEvent(QShowEvent* event) {
    QScrollArea::showEvent(event);
    layOut();
}

void RowList::keyPressEvent(QKeyEvent* event) {
    QScrollBar* bar = verticalScrollBar();
    if (event->key() == Qt::Key_Home) bar->triggerAction(QAbstractSlider::SliderToMinimum);
    else if (event->key() == Qt::Key_End) bar->triggerAction(QAbstractSlider::SliderToMaximum);
    else QScrollArea::keyPressEvent(event);
}

} // namespace directui
