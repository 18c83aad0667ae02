#pragma once
// What a KeptOutput (output_view.h) holds: the text, and the rows as the view laid
// them out with what they were laid out for: the view, its font and its wrap width.

#include <memory>
#include <optional>

#include "output_view/text_layout.h"
#include "output_view/text_store.h"

namespace vexlo {

struct KeptText {
  struct Rows {
    RowLayout layout;
    std::shared_ptr<const int> view;
    unsigned fontGeneration;
    int width;
  };

  ChunkedText text;
  std::optional<Rows> rows;
};

}  // namespace vexlo
