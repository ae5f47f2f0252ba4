#pragma once
// The skin's lists. A row is a record of its parts' state (texts, pictures, ticks); widgets exist
// only for the rows in view, kept in a pool and given to whichever rows scroll into view. Rows may
// also be made on demand, when first shown or asked for, so that listing ten thousand models costs
// about what listing the few on screen does.

#include "form_description.h"
#include "skin.h"

#include <QHash>
#include <QMap>
#include <QScrollArea>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace directui {

// The skin's element that does nothing, answering for a name it does not have.
ISkinElement& StandIn();

// What a row template makes: its size and its parts (in template order) with their first state.
struct PartState {
    QString text, tip;
    QMap<int, QString> pictures; // by slot
    bool visible = true, enabled = true, checked = false;
    int offset = 0;
};
struct RowShape {
    const ElementSpec* spec = nullptr;
    QStringList names;
    QHash<QString, int> byName;
    std::vector<PartState> first;
    QSize size;
    bool resizable = false; // spans the list's width, down to minWidth
    int minWidth = 0;
};

// A row widget of the pool: the row and its parts, in template order.
struct RowWidget {
    QWidget* widget = nullptr; // a child of the list, deleted with it
    std::unique_ptr<ISkinElement> self;
    std::vector<std::unique_ptr<ISkinElement>> parts;
    std::vector<QMap<int, QString>> shownPictures; // what each part was given last, not read again
    const RowShape* shape = nullptr;
    int bound = -1; // the row it shows
};
using RowBuilder = std::function<std::unique_ptr<RowWidget>(const ElementSpec& rowTemplate, QWidget* parent)>;
using RowClicked = std::function<void(int row, const QString& part)>;

class RowList;

// A part of a row: keeps its state and passes each change on to the widget while its row is shown.
class RowPart : public ISkinElement {
public:
    RowPart(RowList* list, const QString& name, const PartState& first) : list_(list), name_(name), state_(first) {}
    QString Name() const override { return name_; }
    void SetVisible(int visible) override;
    bool IsVisible() const override { return state_.visible; }
    void SetText(const QString& text) override;
    QString GetText() const override { return state_.text; }
    void SetStateImage(int slot, const QString& path) override;
    void SetTip(const QString& tip) override;
    int GetLayoutOffset() const override { return state_.offset; }
    void SetLayoutOffset(int dx) override;
    void Enable(bool enable) override;
    bool IsEnabled() const override { return state_.enabled; }
    void SetCheck(bool checked) override;
    bool GetCheck() const override { return state_.checked; }
    void Relayout() override;
    void Update() override;
    IScrollBar* AsScrollBar() override { return StandIn().AsScrollBar(); }
    IComboBox* AsComboBox() override { return StandIn().AsComboBox(); }
    IList* AsList() override { return StandIn().AsList(); }
    IProgressBar* AsProgressBar() override { return StandIn().AsProgressBar(); }
    IHost* AsHost() override { return StandIn().AsHost(); }
    QWidget* Widget() override; // nullptr while the row is out of view

    // Shows the state on a pool widget's part (nullptr: no longer shown).
    void ShowOn(ISkinElement* part, QMap<int, QString>* shownPictures);
    void KeepCheck(bool checked) { state_.checked = checked; } // the user ticked the shown box

private:
    RowList* list_;
    QString name_;
    PartState state_;
    ISkinElement* shown_ = nullptr;
    QMap<int, QString>* shownPictures_ = nullptr;
};

class RowRecord : public IListRow {
public:
    RowRecord(RowList* list, const RowShape* shape, int index);
    int Index() const override { return index_; }
    ISkinElement* Part(const QString& name) override;
    int PartCount() const override { return static_cast<int>(parts_.size()); }
    ISkinElement* PartAt(int index) override;
    const RowShape* shape() const { return shape_; }
    RowPart& part(size_t index) { return parts_[index]; }
    RowWidget* shownBy = nullptr;

private:
    const RowShape* shape_;
    int index_;
    std::vector<RowPart> parts_;
};

class RowList : public QScrollArea {
    Q_OBJECT
public:
    RowList(int spacing, const QHash<QString, ElementSpec>& templates, RowBuilder build, QWidget* parent);
    ~RowList() override;
    void onClicked(RowClicked clicked) { clicked_ = std::move(clicked); }

    void removeAll();
    RowRecord* add(const QString& rowTemplate);
    bool setRows(const QString& rowTemplate, int count, std::function<void(IListRow*)> fill);
    int count() const { return static_cast<int>(shapes_.size()); }
    RowRecord* row(int index); // made now if it was not
    RowRecord* madeRow(int index) const;
    void scrollToRow(int index);
    // Places the rows now if something changed since they were placed.
    void layOutIfChanged() {
        if (changed_) layOut();
    }
    void layOut();
    int poolSize() const { return static_cast<int>(pool_.size()); }

protected:
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    const RowShape* shapeFor(const QString& rowTemplate);
    void changed();
    QSize visibleArea() const;
    int rowWidth(const RowShape& shape, const QSize& area) const;
    void updateScrollBars(const QSize& area);
    void placeRows(const QSize& area);
    RowWidget* freeWidget(const RowShape* shape);
    void bind(RowRecord* record, RowWidget* widget);
    void unbind(RowWidget* widget);
    int nextTop() const;

    int spacing_;
    const QHash<QString, ElementSpec>& templates_;
    RowBuilder build_;
    RowClicked clicked_;
    std::map<QString, std::unique_ptr<RowShape>> knownShapes_;
    QWidget* holder_;
    // By row: the record once made, its shape and its top edge in the list.
    std::vector<std::unique_ptr<RowRecord>> rows_;
    std::vector<const RowShape*> shapes_;
    std::vector<int> tops_;
    int widest_ = 0;
    std::function<void(IListRow*)> fill_;
    std::vector<std::unique_ptr<RowWidget>> pool_;
    bool changed_ = false, layOutPosted_ = false, layingOut_ = false;
};

} // namespace directui
