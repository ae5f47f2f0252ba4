#include "phone_select.h"

#include "launcher_state.h"
#include "main_frame.h"
#include "plugin_api.h"
#include "platform.h"
#include "skin_loader.h"
#include "tip_dialog.h"

#include <QIcon>
#include <QWheelEvent>

namespace pavoline {
namespace {

constexpr int kEmptyListTop = 110;
constexpr int kEmptyListHalfWidth = 113;
// Horizontal offsets of the three phone buttons; a page too narrow for them draws them closer.
constexpr int kPhoneSpacing = 304, kNarrowestSpacing = 230;
constexpr int kPhoneWidth = 221, kPageMargin = 20;
// Which picture goes into which state-image slot of a phone button.
constexpr struct {
    int picture, slot;
} kPictureSlots[] = {{1, 0}, {1, 4}, {2, 3}, {3, 1}};

} // namespace

QString PhonePicture(const QString& modelDir, const QString& model, int k) {
    return QString::fromStdString(ModelFile(modelDir.toStdString(), model.toStdString(), "_" + std::to_string(k) + ".png"));
}

CPhoneSelectDlg::CPhoneSelectDlg(ModelCatalogue& catalogue, MessageWindow* frame, MessageWindow* view, QWidget* parent,
                                 QString programDir)
    : QWidget(parent), MessageWindow(this), catalogue_(catalogue), frame_(frame), view_(view),
      programDir_(std::move(programDir)) {
    if (directui::ISkin* skin = AppSkin()) form_ = skin->CreateForm("DUI_PhoneSelect", this);
    if (form_) {
        scrollBar_ = form_->FindElement("SB_Phoneselect", 90000);
        buttons_ = form_->FindElement("UIF_Btn", 90000);
        frames_[0] = form_->FindElement("Btn_Frame1", 90000);
        frames_[1] = form_->FindElement("Btn_Frame2", 90000);
        frames_[2] = form_->FindElement("Btn_Frame3", 90000);
        manager_ = form_->FindElement("Btn_PhoneManager", 90000);
        update_ = form_->FindElement("Btn_Update", 90000);
        newVersion_ = form_->FindElement("Sta_NewVersionIcon", 90000);
        prompt_ = form_->FindElement("Sta_PlsSelect", 90000);
        help_ = form_->FindElement("Btn_Help", 90000);
        about_ = form_->FindElement("Btn_About", 90000);
        newVersion_->SetVisible(0);
    }
    emptyList_ = new QPushButton(this);
    emptyList_->setObjectName("EmptyListPicture");
    emptyList_->setIcon(QIcon(programDir_ + "empty_list.png"));
    emptyList_->setIconSize(QSize(227, 318));
    emptyList_->setFlat(true);
    emptyList_->setStyleSheet("border: none; background: transparent;");
    emptyList_->setCursor(Qt::PointingHandCursor);
    emptyList_->setGeometry(383, kEmptyListTop, 227, 318);
    emptyList_->hide();
    connect(emptyList_, &QPushButton::clicked, this, [this] {
        if (count_ == 0) openModelManager();
    });
    Refresh();
}

void CPhoneSelectDlg::Refresh() {
    count_ = static_cast<int>(catalogue_.installed().size());
    emptyList_->hide();
    first_ = 1;
    if (!form_) return;
    directui::IScrollBar* bar = scrollBar_->AsScrollBar();
    if (count_ >= 3) {
        for (int i = 0; i < 3; ++i) frames_[i]->SetVisible(-1);
        prompt_->SetVisible(-1);
        scrollBar_->SetVisible(count_ == 3 ? 0 : -1);
        if (count_ > 3) {
            // Positions 0 ... N - 3: no phone past the end is ever addressed.
            directui::ScrollInfo info;
            info.min = 0;
            info.max = count_ - 1;
            info.page = 3;
            info.pos = 0;
            info.disableNoScroll = true;
            bar->SetScrollInfo(info, true);
        }
        last_ = 3;
    } else if (count_ == 2) {
        last_ = 2;
        scrollBar_->SetVisible(0);
        frames_[2]->SetVisible(0);
        for (int i = 0; i < 2; ++i) frames_[i]->SetVisible(-1);
        prompt_->SetVisible(-1);
    } else if (count_ == 1) {
        last_ = 1;
        scrollBar_->SetVisible(0);
        frames_[1]->SetVisible(0);
        frames_[2]->SetVisible(0);
        frames_[0]->SetVisible(-1);
        prompt_->SetVisible(-1);
    } else {
        last_ = 0;
        scrollBar_->SetVisible(0);
        for (auto* f : frames_) f->SetVisible(0);
        prompt_->SetVisible(0);
        placeEmptyListPicture();
        emptyList_->show();
    }
    layOutPhones();
    setPictures();
    buttons_->Update();
}

int CPhoneSelectDlg::phoneSpacing() const {
    return std::clamp((width() - kPhoneWidth - kPageMargin) / 2, kNarrowestSpacing, kPhoneSpacing);
}

void CPhoneSelectDlg::layOutPhones() {
    if (!form_) return;
    const int spacing = phoneSpacing();
    if (count_ >= 3)
        for (int i = 0; i < 3; ++i) frames_[i]->SetLayoutOffset((i - 1) * spacing);
    else if (count_ == 2)
        for (int i = 0; i < 2; ++i) frames_[i]->SetLayoutOffset(i == 0 ? -spacing / 2 : spacing / 2);
    else if (count_ == 1)
        frames_[0]->SetLayoutOffset(0);
    buttons_->Relayout();
}

void CPhoneSelectDlg::setPictures() {
    const InstalledList& installed = catalogue_.installed();
    for (int i = first_; i <= last_ && i <= static_cast<int>(installed.size()); ++i) {
        const QString model = QString::fromStdString(installed[static_cast<size_t>(i - 1)].model);
        const std::optional<std::string> dir = ModelPackageDir(model.toStdString(), programDir_.toStdString());
        const QString modelDir = dir ? QString::fromStdString(*dir) : QString();
        for (const auto& ps : kPictureSlots)
            frameButton(i - first_)->SetStateImage(ps.slot, dir ? PhonePicture(modelDir, model, ps.picture) : QString());
        if (QWidget* button = frameButton(i - first_)->Widget()) button->setToolTip(model);
    }
}

void CPhoneSelectDlg::placeEmptyListPicture() { emptyList_->move(width() / 2 - kEmptyListHalfWidth, kEmptyListTop); }

void CPhoneSelectDlg::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (count_ == 0) placeEmptyListPicture();
    layOutPhones();
}

void CPhoneSelectDlg::SetNewVersionMark(bool shown) {
    if (newVersion_) newVersion_->SetVisible(shown ? -1 : 0);
}

LRESULT CPhoneSelectDlg::onScroll(int code, int p) {
    if (count_ < 3) return 0;
    directui::IScrollBar* bar = scrollBar_->AsScrollBar();
    const int lastFirst = count_ - 2; // the first index when the last page is shown
    switch (code) {
    case directui::kScrollLineBack:
        if (first_ <= 1) return 1;
        --first_;
        --last_;
        break;
    case directui::kScrollLineOn:
        if (last_ >= count_) return 1;
        ++first_;
        ++last_;
        break;
    case directui::kScrollPageBack:
        if (first_ <= 1) return 1;
        first_ -= 3;
        last_ -= 3;
        if (first_ < 1) {
            first_ = 1;
            last_ = 3;
        }
        break;
    case directui::kScrollPageOn:
        if (last_ >= count_) return 1;
        first_ += 3;
        last_ += 3;
        if (last_ > count_) {
            first_ = lastFirst;
            last_ = count_;
        }
        break;
    case directui::kScrollThumbReleased: {
        const int position = std::clamp(p, 0, lastFirst - 1);
        if (first_ == position + 1) return 1;
        first_ = position + 1;
        last_ = position + 3;
        break;
    }
    case directui::kScrollThumbMoving:
        bar->SetScrollPos(std::clamp(p, 0, lastFirst - 1), true);
        return 1;
    default:
        return 1;
    }
    // The bar always shows where the first visible phone is.
    bar->SetScrollPos(first_ - 1, true);
    setPictures();
    buttons_->Update();
    return 1;
}

bool CPhoneSelectDlg::HandleWheel(int delta) {
    if (count_ <= 3 || delta == 0) return false;
    const int p = scrollBar_->AsScrollBar()->GetScrollPos();
    sendMessage(this, WM_SKIN_SCROLL, delta > 0 ? directui::kScrollPageBack : directui::kScrollPageOn, p);
    return true;
}

void CPhoneSelectDlg::wheelEvent(QWheelEvent* event) {
    if (HandleWheel(event->angleDelta().y()))
        event->accept();
    else
        QWidget::wheelEvent(event);
}

void CPhoneSelectDlg::openModelManager() {
    // Without the server the user is told so first; the manager opens anyway.
    if (gUpdateState.load() == -1) CTipDlg::ShowNotice("无法连接服务器，请检查您的网络连接!");
    sendMessage(view_, WM_SHOW_MODELMANAGE);
}

void CPhoneSelectDlg::openEditor(int index) {
    const InstalledList& installed = catalogue_.installed();
    if (index < 1 || index > static_cast<int>(installed.size())) return;
    const QString model = QString::fromStdString(installed[static_cast<size_t>(index - 1)].model);
    sendMessage(frame_, WM_SWITCH_MODE, 1, reinterpret_cast<LPARAM>(&model));
}

void CPhoneSelectDlg::onClick(directui::ISkinElement* element) {
    if (element == frames_[0]) {
        if (catalogue_.installed().empty())
            openModelManager();
        else
            openEditor(first_);
    } else if (element == frames_[1]) {
        openEditor(first_ + 1);
    } else if (element == frames_[2]) {
        openEditor(last_);
    } else if (element == manager_) {
        openModelManager();
    } else if (element == update_) {
        sendMessage(frame_, WM_RUN_UPDATE);
    } else if (element == help_) {
        sendMessage(frame_, WM_COMMAND, ID_HELP_INDEX);
    } else if (element == about_) {
        sendMessage(frame_, WM_COMMAND, ID_APP_ABOUT);
    }
}

LRESULT CPhoneSelectDlg::windowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SKIN_CLICK) {
        onClick(reinterpret_cast<directui::ISkinElement*>(wParam));
        return 0;
    }
    if (message == WM_SKIN_SCROLL) return onScroll(static_cast<int>(wParam), static_cast<int>(lParam));
    return 0;
}

} // namespace pavoline
