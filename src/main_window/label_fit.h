#pragma once
// Labels keep their designed places, but a caption measured with the label's own
// font at the monitor's DPI may need more room than the design gives it. The count
// boxes likewise need room for the digits a count has.

#include <windows.h>

#include <vector>

namespace vexlo {

class LabelFitter {
 public:
  void AddLabel(HWND label) { labels_.push_back(label); }
  void AddCountBox(HWND box) { countBoxes_.push_back(box); }
  void Clear() {
    labels_.clear();
    countBoxes_.clear();
  }
  // Gives each count box the room four digits need, then each label the room its
  // caption needs, in the fonts they have now. Run once the frames have their size:
  // the room a control may grow into ends at its frame's edge.
  void Fit() const;

 private:
  std::vector<HWND> labels_;
  std::vector<HWND> countBoxes_;
};

}  // namespace vexlo
