#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "bank/BankLayout.h"
#include "stream/ScratchBuffer.h"
#include "stream/ScratchStreamOut.h"
#include "stream/StreamIn.h"
#include "stream/StreamOut.h"

namespace kbn {

// Writes the sample entries of a bank (each 44-byte record followed by its
// encoded stream) in order, encoding the samples on `threads` threads (the
// caller's and threads - 1 workers). The caller either reads each sample's
// PCM into the buffer that Prepare hands out and then calls Commit, or
// says where the PCM is with AddFrom, and the thread that encodes the
// sample reads it into a buffer of its own, reused from sample to sample:
// then the reading, a good part of the work, is shared too, the PCM is in
// the cache of the core that encodes it, and only the encoded streams wait
// for their turn. With one thread everything happens on the caller's
// thread, one sample at a time.
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
    CSampleSectionWriter(CStreamOut& out, unsigned threads);
    ~CSampleSectionWriter();
    CSampleSectionWriter(const CSampleSectionWriter&) = delete;
    CSampleSectionWriter& operator=(const CSampleSectionWriter&) = delete;

    // The buffer for the next sample's PCM, record.length values. Writes
    // out finished samples as needed to make room.
    std::span<int16_t> Prepare(const SampleRecord& record);
    // The buffer is filled: encode it.
    void Commit();
    // The next sample, whose record.length values are at `position` of
    // `in`, as little-endian 16-bit samples: read by the thread that
    // encodes it, with ReadAt, when `in` has it; otherwise read here, with
    // Seek and Read. `in` must outlive Finish, and no other call may be
    // made on it until then.
    void AddFrom(const SampleRecord& record, CStreamIn& in, uint64_t position);
    // Writes everything still pending; the section is complete after it.
    void Finish();

    static constexpr unsigned kSlotsPerThread = 8;
    static constexpr uint64_t kReadAheadBytes = uint64_t{2} << 20;
    static constexpr uint64_t kKeptBytes = uint64_t{2} << 20;

private:
    enum class SlotState { Free, Filling, Queued, Done };

    struct Slot {
        SampleRecord record;
        CScratchBuffer<int16_t> buffer;  // the caller overwrites the whole sample
        std::span<int16_t> pcm;          // the caller's PCM, when it reads it
        CScratchStreamOut encoded;
        // Twice the largest length since the buffers were last given back:
        // about what they hold (PCM bytes, or encoded bytes, at most about
        // as many). Kept by the caller's thread alone.
        uint64_t heldBytes = 0;
        const CStreamIn* source = nullptr;  // where the encoding thread reads the PCM, if set
        uint64_t sourcePosition = 0;
        uint64_t number = 0;  // the sample's place in the section
        std::exception_ptr failure;
        SlotState state = SlotState::Free;
    };

    void WorkerLoop(std::size_t thread);
    void Encode(Slot& slot, CScratchBuffer<int16_t>& scratch);
    static std::span<const int16_t> SamplePcm(Slot& slot, CScratchBuffer<int16_t>& scratch);
    Slot& TakeSlot(const SampleRecord& record);
    void WriteOut(Slot& slot);
    void WaitUntilDone(Slot& slot);
    void WriteOutOldest();
    bool MustWriteOutBefore(const SampleRecord& record) const;
    void KeepOrReleaseBuffers(Slot& slot);
    void StopWorkers() noexcept;

    CStreamOut& out_;
    std::vector<Slot> slots_;
    std::size_t next_ = 0;     // the slot Prepare hands out next
    std::size_t written_ = 0;  // the slot whose sample is written next
    std::size_t pending_ = 0;  // samples prepared but not written
    std::size_t alwaysInFlight_ = 1;  // samples in flight whatever their size
    uint64_t pendingPcmBytes_ = 0;

    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable done_;
    std::vector<std::size_t> queue_;
    // The PCM buffers of the threads that read their samples (the caller's
    // first), each used by its thread alone.
    std::vector<CScratchBuffer<int16_t>> scratch_;
    // The failure of the first sample in order that failed, and its number.
    std::exception_ptr firstFailure_;
    uint64_t firstFailed_ = UINT64_MAX;
    uint64_t added_ = 0;  // samples taken so far: the next one's number
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

// The number of threads when the user says nothing: one per core the
// process may run on.
unsigned DefaultThreadCount();

}  // namespace kbn
