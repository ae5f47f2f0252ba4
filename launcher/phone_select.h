#pragma once
// The start page: the installed phones three at a time, paged by the scroll bar and the wheel.

#include "catalogue.h"
#include "message_window.h"
#include "skin.h"

#include <QPushButton>
#include <QWidget>

namespace pavoline {

class CPhoneSelectDlg : public QWidget, public MessageWindow {
    Q_OBJECT
public:
    // frame: the main frame (WM_SWITCH_MODE, WM_RUN_UPDATE); view: the main view (WM_SHOW_MODELMANAGE).
    CPhoneSelectDlg(ModelCatalogue& catalogue, MessageWindow* frame, MessageWindow* view, QWidget* parent,
                    QString programDir);
    void Refresh();
    void SetNewVersionMark(bool shown);
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Wheel turns page by three: forward (positive delta) back, backward on.
    bool HandleWheel(int delta);

    int first() const { return first_; }
    int last() const { return last_; }
    int count() const { return count_; }
    directui::ISkinForm* form() const { return form_; }
    QPushButton* emptyListPicture() const { return emptyList_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void setPictures();
    void layOutPhones();
    int phoneSpacing() const;
    void placeEmptyListPicture();
    LRESULT onScroll(int code, int position);
    void onClick(directui::ISkinElement* element);
    void openModelManager();
    void openEditor(int index);
    directui::ISkinElement* frameButton(int i) const { return frames_[i]; }

    ModelCatalogue& catalogue_;
    MessageWindow* frame_;
    MessageWindow* view_;
    QString programDir_;
    directui::ISkinForm* form_ = nullptr;
    directui::ISkinElement* scrollBar_ = nullptr;
    directui::ISkinElement* buttons_ = nullptr;
    directui::ISkinElement* frames_[3] = {nullptr, nullptr, nullptr};
    directui::ISkinElement* manager_ = nullptr;
    directui::ISkinElement* update_ = nullptr;
    directui::ISkinElement* newVersion_ = nullptr;
    directui::ISkinElement* prompt_ = nullptr;
    directui::ISkinElement* help_ = nullptr;
    directui::ISkinElement* about_ = nullptr;
    QPushButton* emptyList_ = nullptr;
    int count_ = 0, first_ = 1, last_ = 0;
};

// The pictures of a model: <dir>/<model>_1.png, _2.png, _3.png.
QString PhonePicture(const QString& modelDir, const QString& model, int k);

} // namespace pavoline
