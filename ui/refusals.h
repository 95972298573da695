// Why the aligner or the editing core refused, and why the aligner doubts a
// syllable, in the desktop's words: each worded from its value with tr().
#pragma once

#include <QString>

#include "align/align_error.h"
#include "align/aligner.h"
#include "editing/edit_error.h"

namespace verselane::ui {

// Why the aligner doubts a syllable's place: "close call", ...; empty for None.
QString DescribeDoubt(align::Doubt reason);

// Why a sheet cannot be aligned.
QString DescribeAlignFault(const align::AlignFault& fault);

// Why an edit of the timed words cannot be made.
QString DescribeEditFault(const editing::EditFault& fault);

}  // namespace verselane::ui
