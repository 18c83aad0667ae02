#pragma once
// Labels and buttons keep their designed places, but a caption measured with the
// control's own font at the monitor's DPI may need more room than the design gives
// it. The count boxes likewise need room for the digits a count has.

#include <windows.h>

#include <vector>

namespace vexlo {

class LabelFitter {
 public:
  void AddLabel(HWND label) { labels_.push_back(label); }
  void AddCountBox(HWND box) { countBoxes_.push_back(box); }
  // A push button, check box or option button with a one-line caption.
  void AddButton(HWND button) { buttons_.push_back(button); }
  void Clear() {
    labels_.clear();
    countBoxes_.clear();
    buttons_.clear();
  }
  // Gives each button the room its caption needs, moving the controls that follow it
  // on its line along; then each count box the room four digits need, then each label
  // the room its caption needs, in the fonts they have now. Run once the frames have
  // their size: the room a control may grow into ends at its frame's edge.
  void Fit() const;

 private:
  std::vector<HWND> labels_;
  std::vector<HWND> countBoxes_;
  std::vector<HWND> buttons_;
};

}  // namespace vexlo
