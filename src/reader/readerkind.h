#pragma once

#include <atomic>

// The open reader family: 0 none, 1 RW-Alto (MF RC500 library), 2 RW-Nova (Rivlink
// library). Set by reader discovery at start; only read afterwards.
extern std::atomic<int> ReaderKind;

constexpr int READER_NONE = 0;
constexpr int READER_ALTO = 1;
constexpr int READER_NOVA = 2;
