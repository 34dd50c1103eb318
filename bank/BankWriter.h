#pragma once

#include <cstdint>

#include "bank/BankContents.h"
#include "bank/BankLayout.h"
#include "stream/StreamOut.h"

// The writer of every bank. Each field is one Write of its own width, in the
// order of the layout.
namespace kbn {

// Writes the whole bank that `contents` describes, front to back: the
// magic, every sample with its PCM read and encoded on `threads` threads
// (the bank is the same for any number), the instruments, the presets. Each
// sample's record gets the length of its PCM. Throws what reading the PCM
// or writing throws; what is written up to then is incomplete.
void WriteBank(CStreamOut& out, BankContents& contents, unsigned threads);

void WriteMagic(CStreamOut& out);
// The 44-byte record; the sample's encoded stream follows it directly.
void WriteSampleRecord(CStreamOut& out, const SampleRecord& record);

// A name from text: copied and padded with NUL bytes to 20 bytes.
Name MakeName(const char* text);

}  // namespace kbn
