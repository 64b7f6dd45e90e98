#pragma once
// Whether an ID3v1 tag could hold an info without loss, asked of the program's trailing-tag service.
//     trailing_tags_fit_id3v1(info)   // title "Song", artist "A": true; a 40-character title: false
#include "metadata/track_info.h"

bool trailing_tags_fit_id3v1(const track_info& info);
