#pragma once

#include <cstdint>
#include <span>

#include "bank/BankContents.h"
#include "bank/BankLayout.h"
#include "stream/StreamOut.h"

// The writer of every bank, and its record writers. Each field is one Write
// of its own width, in the order of the layout.
namespace kbn {

// Writes the whole bank that `contents` describes, front to back: the
// magic, every sample with its PCM read and encoded on `threads` threads
// (the bank is the same for any number), the instruments, the presets. Each
// sample's record gets the length of its PCM. Throws what reading the PCM
// or writing throws; what is written up to then is incomplete.
void WriteBank(CStreamOut& out, BankContents& contents, unsigned threads);

void WriteMagic(CStreamOut& out);
void WriteCount(CStreamOut& out, uint32_t count);
void WriteName(CStreamOut& out, const Name& name);
// The 44-byte record; the sample's encoded stream follows it directly.
void WriteSampleRecord(CStreamOut& out, const SampleRecord& record);
void WriteInstrumentHeader(CStreamOut& out, const Name& name, uint32_t zoneCount);
void WritePresetHeader(CStreamOut& out, const Name& name, uint16_t preset, uint16_t bank,
                       uint32_t zoneCount);
void WriteModulatorRecord(CStreamOut& out, const ModulatorRecord& modulator);
// A whole zone: its generator list, then its modulators.
void WriteZoneRecord(CStreamOut& out, std::span<const GeneratorEntry> generators,
                     std::span<const ModulatorRecord> modulators);

// A name from text: copied and padded with NUL bytes to 20 bytes.
Name MakeName(const char* text);

}  // namespace kbn
