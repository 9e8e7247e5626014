#include "reader/readerkind.h"

std::atomic<int> ReaderKind{READER_NONE};
