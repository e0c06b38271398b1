#include "mixer/mixerblock.h"

#include "platform/errors.h"
#include "platform/strings.h"
#include "resources/bitmaps.h"

#include <QFontMetrics>

namespace zol {

namespace {

TMMCustomMixerBlock* EnclosingBlock(QWidget* widget)
{
    for (QWidget* w = widget; w; w = w->parentWidget())
        if (auto* block = dynamic_cast<TMMCustomMixerBlock*>(w))
            return block;
    return nullptr;
}

TMMCustomMixerBlock* RequireBlock(QWidget* parent)
{
    TMMCustomMixerBlock* block = EnclosingBlock(parent);
    if (block == nullptr)
        throw EMMBlockError(LoadResString(SOnlyWithMixerBlock));
    return block;
}

// Tells the enclosing block, unless it is going away itself.
void Tell(QWidget* part, TMMPartNotice notice)
{
    TMMCustomMixerBlock* block = EnclosingBlock(part->parentWidget());
    if (block && !block->IsDestroying())
        block->PartNotice(notice, part);
}

}  // namespace

// ---------------------------------------------------------------------------
// Parts

TMMCustomBlockSlider::TMMCustomBlockSlider(QWidget* parent, TMMBlockSliderRole role)
    : TMMCustomMixerSlider((RequireBlock(parent), parent)), role_(role)
{
    Tell(this, pnAdded);
}

TMMCustomBlockSlider::~TMMCustomBlockSlider()
{
    Destroying();
    Tell(this, pnLeaving);
}

void TMMCustomBlockSlider::SetRole(TMMBlockSliderRole role)
{
    if (role == role_)
        return;
    role_ = role;
    Tell(this, pnChanged);
}

TMMCustomBlockLevel::TMMCustomBlockLevel(QWidget* parent, int index)
    : TMMCustomLevel((RequireBlock(parent), parent)), index_(std::clamp(index, 0, 1))
{
    Tell(this, pnAdded);
}

TMMCustomBlockLevel::~TMMCustomBlockLevel()
{
    Destroying();
    Tell(this, pnLeaving);
}

void TMMCustomBlockLevel::SetIndex(int index)
{
    index = std::clamp(index, 0, 1);
    if (index == index_)
        return;
    index_ = index;
    Tell(this, pnChanged);
}

TMMCustomBlockLabel::TMMCustomBlockLabel(QWidget* parent, int index)
    : QLabel((RequireBlock(parent), parent)), index_(std::clamp(index, 0, 2))
{
    Tell(this, pnAdded);
}

TMMCustomBlockLabel::~TMMCustomBlockLabel()
{
    Destroying();
    Tell(this, pnLeaving);
}

void TMMCustomBlockLabel::SetIndex(int index)
{
    index = std::clamp(index, 0, 2);
    if (index == index_)
        return;
    index_ = index;
    Tell(this, pnChanged);
}

TMMCustomBlockCheck::TMMCustomBlockCheck(QWidget* parent) : TMMCustomMixerCheckBox((RequireBlock(parent), parent))
{
    Tell(this, pnAdded);
}

TMMCustomBlockCheck::~TMMCustomBlockCheck()
{
    Destroying();
    Tell(this, pnLeaving);
}

// ---------------------------------------------------------------------------
// TMMCustomMixerBlock

TMMCustomMixerBlock::TMMCustomMixerBlock(QWidget* parent) : TMMCustomPanel(parent)
{
    resize(100, 250);
    pan_ = new TMMPanControl(this);
    volume_ = new TMMVolumeControl(this);
    mute_ = new TMMMixerControl(this);
    mute_->SetControlType(ctMute);
    meter_ = new TMMMixerControl(this);
    meter_->SetControlType(ctPeakMeter);
    pan_->SetVolumeControl(volume_);
    connector_ = new TMMMixerConnector(this);
    connector_->SetInterval(25);
    connector_->SetAutoTrigger(true);
    connector_->SetControl(meter_);
    lineObserver_.SetOnNotify([this](TMMObserver*, TMMChange* change) {
        if (dynamic_cast<TMMLineIdChange*>(change)) {
            Bind();
            Arrange();
        }
    });
    mixerObserver_.SetOnNotify([this](TMMObserver*, TMMChange* change) {
        if (dynamic_cast<TMMControlIdChange*>(change)) {
            Bind();
            Arrange();
        }
    });
}

TMMCustomMixerBlock::~TMMCustomMixerBlock()
{
    Destroying();
    if (line_)
        line_->RemoveObserver(&lineObserver_);
    if (mixer_)
        mixer_->RemoveObserver(&mixerObserver_);
    // The inner controls go first; the parts hear of it and let go.
    delete connector_;
    delete pan_;
    delete mute_;
    delete meter_;
    delete volume_;
}

void TMMCustomMixerBlock::SetLine(TMMAudioLine* line)
{
    if (line == line_)
        return;
    if (line_) {
        line_->RemoveObserver(&lineObserver_);
        RemoveFreeNotification(line_);
    }
    line_ = line;
    if (line_) {
        line_->AddObserver(&lineObserver_);
        FreeNotification(line_);
    }
    volume_->SetAudioLine(line_);
    mute_->SetAudioLine(line_);
    meter_->SetAudioLine(line_);
    pan_->SetAudioLine(line_);
    Rebuild();
}

void TMMCustomMixerBlock::SetAutoArrange(bool value)
{
    if (value == autoArrange_)
        return;
    autoArrange_ = value;
    Arrange();
}

void TMMCustomMixerBlock::SetAutoSize(bool value)
{
    if (value == autoSize_)
        return;
    autoSize_ = value;
    Arrange();
}

void TMMCustomMixerBlock::SetMixer(TMMCustomMixerControl* control)
{
    if (control == mixer_)
        return;
    if (mixer_) {
        mixer_->RemoveObserver(&mixerObserver_);
        RemoveFreeNotification(mixer_);
    }
    mixer_ = control;
    if (mixer_) {
        mixer_->AddObserver(&mixerObserver_);
        FreeNotification(mixer_);
    }
    Bind();
    Arrange();
}

void TMMCustomMixerBlock::SetItem(TMMItemIndex item)
{
    if (item == item_)
        return;
    item_ = item;
    Bind();
    Arrange();
}

void TMMCustomMixerBlock::PartNotice(TMMPartNotice notice, QWidget* part)
{
    if (IsDestroying())
        return;
    if (notice == pnLeaving)
        leaving_ = part;
    Rebuild();
    leaving_ = nullptr;
}

void TMMCustomMixerBlock::Rebuild()
{
    if (IsDestroying())
        return;
    FindParts();
    Bind();
    Arrange();
}

void TMMCustomMixerBlock::FindParts()
{
    panSlider_ = leftSlider_ = rightSlider_ = nullptr;
    muteBox_ = nullptr;
    level1_ = level2_ = nullptr;
    nameLabel_ = balanceLabel_ = volumeLabel_ = nullptr;
    // Depth first through the widget children; a later part of a slot
    // replaces an earlier one.
    const auto children = findChildren<QWidget*>();
    for (QWidget* w : children) {
        if (w == leaving_)
            continue;
        if (auto* s = dynamic_cast<TMMCustomBlockSlider*>(w)) {
            if (s->IsDestroying())
                continue;
            (s->Role() == srPan ? panSlider_ : s->Role() == srLeftVolume ? leftSlider_ : rightSlider_) = s;
        } else if (auto* l = dynamic_cast<TMMCustomBlockLevel*>(w)) {
            if (l->IsDestroying())
                continue;
            (l->Index() == 0 ? level1_ : level2_) = l;
        } else if (auto* lb = dynamic_cast<TMMCustomBlockLabel*>(w)) {
            if (lb->IsDestroying())
                continue;
            (lb->Index() == 0 ? nameLabel_ : lb->Index() == 1 ? balanceLabel_ : volumeLabel_) = lb;
        } else if (auto* c = dynamic_cast<TMMCustomBlockCheck*>(w)) {
            if (c->IsDestroying())
                continue;
            muteBox_ = c;
        }
    }
    for (auto* s : {panSlider_, leftSlider_, rightSlider_})
        if (s)
            ApplyRoleLook(s);
    for (auto* l : {level1_, level2_}) {
        if (!l)
            continue;
        l->Bevel().SetBorderWidth(1);
        l->SetColor(clBtnFace);
        l->SetSpotWidth(6);
        l->SetBarColors(QColor(0x00, 0x80, 0x00), QColor(0x00, 0xFF, 0x00), QColor(0xFF, 0xFF, 0x00));
        l->SetInactiveColors(clBtnFace, clBtnFace, clBtnFace);
        l->SetPoint1(45);
        l->SetPoint2(60);
        l->SetLogAmp(false);
        l->SetShowPeak(false);
        l->SetKind(lkVertical);
    }
}

void TMMCustomMixerBlock::ApplyRoleLook(TMMCustomBlockSlider* s)
{
    s->Bevel().SetBevelOuter(bvNone);
    s->Scale().SetVisible(true);
    s->Scale().SetConnect(false);
    s->Scale().SetOrigin(soInner);
    s->Scale().SetSize(6);
    s->SetGrooveSize(1);
    if (s->Role() == srPan) {
        s->SetPicLeft(LoadBitmapResource(QStringLiteral("SPK_LEFT")));
        s->SetPicRight(LoadBitmapResource(QStringLiteral("SPK_RIGHT")));
        s->Scale().SetTickCount(3);
        s->Scale().SetEnlargeEvery(2);
        s->SetScalePosition(spBelowOrRight);
        s->SetLogarithmic(false);
    } else {
        s->SetPicLeft(QImage());
        s->SetPicRight(QImage());
        s->Scale().SetTickCount(7);
        s->Scale().SetEnlargeEvery(6);
        s->SetScalePosition(spBoth);
        s->SetLogarithmic(true);
    }
}

void TMMCustomMixerBlock::Bind()
{
    if (IsDestroying())
        return;
    if (panSlider_)
        panSlider_->SetControl(pan_);
    if (muteBox_) {
        TMMItemIndex item = NoItem;
        if (mixer_ && mixer_->IsValid() && line_)
            item = item_ != NoItem ? item_ : mixer_->ItemOfLine(line_);
        if (item != NoItem) {
            muteBox_->SetControl(mixer_);
            muteBox_->SetItem(item);
            muteKind_ = mkSelect;
        } else {
            muteBox_->SetControl(mute_);
            muteBox_->SetItem(NoItem);
            muteKind_ = mkMute;
        }
    }
    if (leftSlider_) {
        leftSlider_->SetControl(volume_);
        leftSlider_->SetChannel(rightSlider_ ? chLeft : chBoth);
    }
    if (rightSlider_) {
        rightSlider_->SetControl(volume_);
        rightSlider_->SetChannel(leftSlider_ ? chRight : chBoth);
    }
    connector_->SetLevel1(level1_);
    connector_->SetLevel2(level2_);
}

void TMMCustomMixerBlock::Arrange()
{
    if (arranging_ || IsDestroying() || IsLoading() || parentWidget() == nullptr || !autoArrange_)
        return;
    arranging_ = true;
    const QFontMetrics fm(font());
    const int a = fm.horizontalAdvance(QLatin1Char('A'));
    const int h = fm.height() / 2;
    const int border = BevelExtent();
    QRect r = rect().adjusted(border + a, border + h, -(border + a), -(border + h));
    auto own = [this](QWidget* w) { return w && w->parentWidget() == this; };
    int top = r.top();
    auto placeTop = [&](QWidget* w, int gapAfter, bool centre) {
        if (!own(w))
            return;
        if (autoSize_)
            w->setGeometry(r.left(), top, r.width(), w->height());
        else
            w->move(centre ? r.left() + (r.width() - w->width()) / 2 : r.left(), top);
        top += w->height() + gapAfter;
    };
    if (nameLabel_)
        nameLabel_->setText(line_ ? line_->LineInfo().Name() : QStringLiteral("Not connected"));
    if (balanceLabel_)
        balanceLabel_->setText(QStringLiteral("Balance:"));
    if (volumeLabel_)
        volumeLabel_->setText(QStringLiteral("Volume:"));
    placeTop(nameLabel_, h, false);
    placeTop(balanceLabel_, 0, false);
    placeTop(panSlider_, 0, true);
    top += h;
    placeTop(volumeLabel_, 0, false);

    int bottom = r.bottom() + 1;
    if (own(muteBox_)) {
        const int hgt = muteBox_->sizeHint().height();
        if (autoSize_)
            muteBox_->setGeometry(r.left(), bottom - hgt, r.width(), hgt);
        else
            muteBox_->move(r.left() + (r.width() - muteBox_->width()) / 2, bottom - muteBox_->height());
        bottom -= muteBox_->height() + h;
    }

    ArrangeColumns(QRect(r.left(), top, r.width(), std::max(bottom - top, 0)), a);
    ChainTabOrder();
    arranging_ = false;
}

// The sliders and the level displays share the space between the labels
// and the mute box: three quarters for the sliders when both are there.
void TMMCustomMixerBlock::ArrangeColumns(const QRect& rest, int gap)
{
    auto own = [this](QWidget* w) { return w && w->parentWidget() == this; };
    const bool sliders = own(leftSlider_) || own(rightSlider_);
    const bool levelsVisible = (level1_ || level2_) && meter_->IsValid();
    for (auto* l : {level1_, level2_}) {
        if (own(l)) {
            l->SetKind(lkVertical);
            l->setVisible(levelsVisible);
        }
    }
    const bool levels = levelsVisible && (own(level1_) || own(level2_));
    QRect sliderCol = rest;
    QRect levelCol;
    if (sliders && levels) {
        sliderCol.setWidth(rest.width() / 4 * 3);
        levelCol = QRect(sliderCol.left() + sliderCol.width(), rest.top(), rest.width() - sliderCol.width(),
                         rest.height());
    } else if (levels) {
        levelCol = rest;
    }
    // A column shared by a pair: two halves with `gap` between them.
    auto placePair = [&](QWidget* first, QWidget* second, const QRect& col) {
        QWidget* parts[2] = {own(first) ? first : nullptr, own(second) ? second : nullptr};
        const int count = (parts[0] ? 1 : 0) + (parts[1] ? 1 : 0);
        if (count == 0 || col.width() <= 0)
            return;
        const int half = count == 2 ? (col.width() - gap) / 2 : col.width();
        int x = col.left();
        for (QWidget* w : parts) {
            if (!w)
                continue;
            if (autoSize_)
                w->setGeometry(x, col.top(), half, col.height());
            else
                w->move(x + (half - w->width()) / 2, col.top() + (col.height() - w->height()) / 2);
            x += half + gap;
        }
    };
    if (sliders)
        placePair(leftSlider_, rightSlider_, sliderCol);
    if (levels)
        placePair(level1_, level2_, levelCol);
}

// Tab order: pan, left, right, mute.
void TMMCustomMixerBlock::ChainTabOrder()
{
    QWidget* order[4] = {panSlider_, leftSlider_, rightSlider_, muteBox_};
    QWidget* previous = nullptr;
    for (QWidget* w : order) {
        if (!w)
            continue;
        w->setFocusPolicy(Qt::StrongFocus);
        if (previous)
            setTabOrder(previous, w);
        previous = w;
    }
}

void TMMCustomMixerBlock::resizeEvent(QResizeEvent* event)
{
    TMMCustomPanel::resizeEvent(event);
    Arrange();
}

void TMMCustomMixerBlock::Loaded()
{
    TMMCustomPanel::Loaded();
    Rebuild();
}

void TMMCustomMixerBlock::Notification(QObject* component, TOperation operation)
{
    TMMCustomPanel::Notification(component, operation);
    if (operation != opRemove || IsDestroying())
        return;
    if (component == line_) {
        line_ = nullptr;
        volume_->SetAudioLine(nullptr);
        mute_->SetAudioLine(nullptr);
        meter_->SetAudioLine(nullptr);
        pan_->SetAudioLine(nullptr);
        Rebuild();
    } else if (component == mixer_) {
        mixer_ = nullptr;
        Bind();
        Arrange();
    }
}

}  // namespace zol
