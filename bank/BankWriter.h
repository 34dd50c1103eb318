#pragma once

#include <cstdint>
#include <span>

#include "bank/BankLayout.h"
#include "stream/StreamOut.h"

// Record writers of the bank. Each field is one Write of its own width, in
// the order of the layout.
namespace kbn {

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
