// The size of the system's text buffers: paths, registry texts, item parts and settings
// values all pass through buffers of the platform's path limit.
#pragma once

enum { kPathBufferSize = 260 };  // bytes, terminator included
