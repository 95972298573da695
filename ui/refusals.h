// Why the aligner or the editing core refused, in the desktop's words: each
// refusal worded from its value with tr().
#pragma once

#include <QString>

#include "align/align_error.h"
#include "editing/edit_error.h"

namespace verselane::ui {

// Why a sheet cannot be aligned.
QString DescribeAlignFault(const align::AlignFault& fault);

// Why an edit of the timed words cannot be made.
QString DescribeEditFault(const editing::EditFault& fault);

}  // namespace verselane::ui
