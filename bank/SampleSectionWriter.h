#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "bank/BankContents.h"
#include "stream/ScratchBuffer.h"
#include "stream/ScratchStreamOut.h"
#include "stream/StreamOut.h"

namespace kbn {

// Writes the sample entries of a bank (each 44-byte record followed by its
// encoded stream) in order, reading and encoding the samples on `threads`
// threads (the caller's and threads - 1 workers). Each sample's PCM is read
// by the thread that encodes it, into a buffer of its own reused from sample
// to sample: the reading (or decoding), a good part of the work, is shared
// too, the PCM is in the cache of the core that encodes it, and only the
// encoded streams wait for their turn. Where the source cannot be read on
// several threads, the caller reads each sample as it adds it. With one
// thread everything happens on the caller's thread, one sample at a time.
//
// After a sample fails (its read or its encoding throws), the samples
// after it that are still queued are neither read nor encoded, so that a
// failing file is not read on; the first sample in order that failed
// throws from the call that would write it, after the samples before it.
//
// With several threads, up to kSlotsPerThread samples per thread are in
// flight (read, being encoded, or encoded and waiting their turn), so that a
// long sample taken by one thread does not leave the others idle: 2 per
// thread whatever their size, more while those in flight come to at most
// kReadAheadBytes of PCM. Between samples, the slots keep their buffers
// while these were sized for at most kKeptBytes of PCM, or for what 2 per
// thread of the sample just written would take. Memory is bounded however
// large the bank.
class CSampleSectionWriter {
public:
    // `contents` must outlive the writer; as each sample is written, its
    // record's length becomes its PCM's.
    CSampleSectionWriter(CStreamOut& out, BankContents& contents, unsigned threads);
    ~CSampleSectionWriter();
    CSampleSectionWriter(const CSampleSectionWriter&) = delete;
    CSampleSectionWriter& operator=(const CSampleSectionWriter&) = delete;

    // The next sample, in the bank's order from 0. Writes out finished
    // samples as needed to make room.
    void Add(uint32_t index);
    // Writes everything still pending; the section is complete after it.
    void Finish();

    static constexpr unsigned kSlotsPerThread = 8;
    static constexpr uint64_t kReadAheadBytes = uint64_t{2} << 20;
    static constexpr uint64_t kKeptBytes = uint64_t{2} << 20;

private:
    enum class SlotState { Free, Queued, Done };

    struct Slot {
        uint32_t index = 0;       // the sample's place in the bank
        uint64_t pcmBytes = 0;    // as the source said before reading it
        uint32_t length = 0;      // the PCM's, once read
        CScratchBuffer<int16_t> buffer;  // the PCM, when the caller reads it
        std::span<const int16_t> pcm;    // the caller's read, if it read
        CScratchStreamOut encoded;
        // Twice the largest PCM since the buffers were last given back:
        // about what they hold (PCM bytes, or encoded bytes, at most about
        // as many). Kept by the caller's thread alone.
        uint64_t heldBytes = 0;
        std::exception_ptr failure;
        SlotState state = SlotState::Free;
    };

    void WorkerLoop(std::size_t thread);
    void Encode(Slot& slot, CScratchBuffer<int16_t>& scratch);
    std::span<const int16_t> SamplePcm(Slot& slot, CScratchBuffer<int16_t>& scratch) const;
    // Reads the slot's PCM on the caller's thread; false when it failed, the
    // slot then done with the failure.
    bool ReadHere(Slot& slot);
    void WriteOut(Slot& slot);
    void WaitUntilDone(Slot& slot);
    void WriteOutOldest();
    bool MustWriteOutBefore(uint64_t pcmBytes) const;
    void KeepOrReleaseBuffers(Slot& slot);
    void StopWorkers() noexcept;

    CStreamOut& out_;
    BankContents& contents_;
    const CSamplePcmSource& source_;
    bool workersRead_ = false;  // the encoding threads read the PCM themselves
    std::vector<Slot> slots_;
    std::size_t next_ = 0;     // the slot the next sample takes
    std::size_t written_ = 0;  // the slot whose sample is written next
    std::size_t pending_ = 0;  // samples added but not written
    std::size_t alwaysInFlight_ = 1;  // samples in flight whatever their size
    uint64_t pendingPcmBytes_ = 0;

    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable done_;
    std::vector<std::size_t> queue_;
    // The PCM buffers of the threads that read their samples (the caller's
    // first), each used by its thread alone.
    std::vector<CScratchBuffer<int16_t>> scratch_;
    // The failure of the first sample in order that failed, and its index.
    std::exception_ptr firstFailure_;
    uint64_t firstFailed_ = UINT64_MAX;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace kbn
