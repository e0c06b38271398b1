// The connection designer: a form-design aid whose lines between the
// sound-processing chain's components belong to a form designer, which this
// program does not have. What the running program gets from it is its
// properties, the one-per-form rule and the form's client height
// (RuntimeHeight), applied after loading.
#pragma once

#include "controls/colors.h"
#include "controls/wndhook.h"

namespace zol {

class TMMDesigner : public TMMWndProcComponent {
public:
    // Raises EMMDesignerError "Owner must be a Form" for an owner that is not
    // a form, and "Only one Designer is allowed per Form" when another
    // designer already serves the form or a form inside it.
    explicit TMMDesigner(QObject* owner);
    ~TMMDesigner() override;

    bool Active() const { return active_; }
    void SetActive(bool value) { active_ = value; }
    TColor Color() const { return color_; }
    void SetColor(const TColor& value) { color_ = value; }
    int LineWidth() const { return lineWidth_; }
    void SetLineWidth(int value) { lineWidth_ = value; }
    int Margin() const { return margin_; }
    void SetMargin(int value) { margin_ = value; }
    bool AutoUpdate() const { return autoUpdate_; }
    void SetAutoUpdate(bool value) { autoUpdate_ = value; }
    // Writing true switches Active off and on again; it reads back false.
    bool Update() const { return false; }
    void SetUpdate(bool value);
    bool Sound() const { return sound_; }
    void SetSound(bool value) { sound_ = value; }
    bool ShowButton() const { return showButton_; }
    void SetShowButton(bool value) { showButton_ = value; }
    // The form's client height in the running program; none when <= 0.
    int RuntimeHeight() const { return runtimeHeight_; }
    void SetRuntimeHeight(int value) { runtimeHeight_ = value; }

    void Loaded() override;

    static int DesignerCount();

private:
    bool active_ = true;
    TColor color_ = clRed;
    int lineWidth_ = 1;
    int margin_ = 6;
    bool autoUpdate_ = true;
    bool sound_ = true;
    bool showButton_ = false;
    int runtimeHeight_ = -1;
};

}  // namespace zol
