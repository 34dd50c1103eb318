#include "bank/SampleSectionWriter.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "bank/BankWriter.h"
#include "codec/SampleEncoder.h"
#include "stream/Error.h"
#include "stream/StreamIo.h"

namespace kbn {
namespace {

// A record's length is 32 bits: a sample that decodes to more has no place.
uint32_t LengthOf(std::span<const int16_t> pcm, uint32_t index) {
    if (pcm.size() > UINT32_MAX) {
        throw CError("sample " + std::to_string(index) + " has " + std::to_string(pcm.size()) +
                     " frames, more than a sample record can hold");
    }
    return static_cast<uint32_t>(pcm.size());
}

}  // namespace

CSampleSectionWriter::CSampleSectionWriter(CStreamOut& out, BankContents& contents, unsigned threads)
    : out_(out),
      contents_(contents),
      source_(*contents.pcm),
      slots_(threads > 1 ? kSlotsPerThread * threads : 1),
      scratch_(std::max(threads, 1u)) {
    if (threads <= 1) return;
    workersRead_ = source_.ReadsConcurrently();
    alwaysInFlight_ = 2 * threads;
    // The caller's thread is one of the encoders: it takes queued samples
    // whenever it would otherwise wait.
    // When the system refuses a thread (a process limit), the threads that
    // did start, the caller's at least, do the work: the bank is the same.
    workers_.reserve(threads - 1);
    for (unsigned i = 1; i < threads; ++i) {
        try {
            workers_.emplace_back([this, i] { WorkerLoop(i); });
        } catch (const std::system_error&) {
            break;
        }
    }
}

CSampleSectionWriter::~CSampleSectionWriter() { StopWorkers(); }

void CSampleSectionWriter::StopWorkers() noexcept {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    queued_.notify_all();
    for (std::thread& worker : workers_) {
        if (worker.joinable()) worker.join();
    }
    workers_.clear();
}

void CSampleSectionWriter::Add(uint32_t index) {
    const uint64_t pcmBytes = source_.PcmBytes(index);
    // The oldest samples go out first, freeing their slots (the one needed
    // now among them) and the read-ahead they held.
    while (MustWriteOutBefore(pcmBytes)) WriteOutOldest();
    const std::size_t taken = next_;
    Slot& slot = slots_[taken];
    slot.index = index;
    slot.pcmBytes = pcmBytes;
    slot.length = 0;
    slot.pcm = {};
    slot.heldBytes = std::max(slot.heldBytes, pcmBytes);
    pendingPcmBytes_ += pcmBytes;
    next_ = (next_ + 1) % slots_.size();
    ++pending_;
    if (slots_.size() == 1) {
        slot.state = SlotState::Done;
        WriteOut(slot);
        return;
    }
    if (!workersRead_ && !ReadHere(slot)) return;
    {
        std::lock_guard lock(mutex_);
        slot.state = SlotState::Queued;
        queue_.push_back(taken);
    }
    queued_.notify_one();
}

bool CSampleSectionWriter::ReadHere(Slot& slot) {
    std::exception_ptr failure;
    {
        std::lock_guard lock(mutex_);
        // After a failure the file is not read on: the sample is dropped.
        if (firstFailed_ < slot.index) failure = firstFailure_;
    }
    if (!failure) {
        try {
            slot.pcm = source_.Read(slot.index, slot.buffer);
            return true;
        } catch (...) {
            failure = std::current_exception();
        }
    }
    // Reported in turn, after the samples before it are written.
    std::lock_guard lock(mutex_);
    if (slot.index < firstFailed_) {
        firstFailure_ = failure;
        firstFailed_ = slot.index;
    }
    slot.failure = failure;
    slot.state = SlotState::Done;
    return false;
}

bool CSampleSectionWriter::MustWriteOutBefore(uint64_t pcmBytes) const {
    if (pending_ == slots_.size()) return true;
    return pending_ >= alwaysInFlight_ && pendingPcmBytes_ + pcmBytes > kReadAheadBytes;
}

void CSampleSectionWriter::WriteOutOldest() {
    Slot& slot = slots_[written_];
    WaitUntilDone(slot);
    WriteOut(slot);
}

std::span<const int16_t> CSampleSectionWriter::SamplePcm(Slot& slot, CScratchBuffer<int16_t>& scratch) const {
    if (!slot.pcm.empty() || !workersRead_) return slot.pcm;
    return source_.Read(slot.index, scratch);
}

void CSampleSectionWriter::Finish() {
    while (pending_ > 0) WriteOutOldest();
}

void CSampleSectionWriter::WaitUntilDone(Slot& slot) {
    std::unique_lock lock(mutex_);
    while (slot.state != SlotState::Done) {
        if (queue_.empty()) {
            done_.wait(lock);
            continue;
        }
        const std::size_t index = queue_.front();
        queue_.erase(queue_.begin());
        lock.unlock();
        Encode(slots_[index], scratch_[0]);
        lock.lock();
    }
}

void CSampleSectionWriter::Encode(Slot& slot, CScratchBuffer<int16_t>& scratch) {
    std::exception_ptr failure;
    {
        std::lock_guard lock(mutex_);
        // A sample after one that failed is not written: it is dropped.
        if (firstFailed_ < slot.index) failure = firstFailure_;
    }
    if (!failure) {
        try {
            const std::span<const int16_t> pcm = SamplePcm(slot, scratch);
            slot.length = LengthOf(pcm, slot.index);
            slot.encoded.Clear();
            EncodeSample(slot.encoded, pcm.data(), static_cast<int32_t>(pcm.size()));
        } catch (...) {
            failure = std::current_exception();
        }
    }
    {
        std::lock_guard lock(mutex_);
        if (failure && slot.index < firstFailed_) {
            firstFailure_ = failure;
            firstFailed_ = slot.index;
        }
        slot.failure = failure;
        slot.state = SlotState::Done;
    }
    done_.notify_all();
}

void CSampleSectionWriter::WriteOut(Slot& slot) {
    slot.state = SlotState::Free;
    written_ = (written_ + 1) % slots_.size();
    --pending_;
    pendingPcmBytes_ -= slot.pcmBytes;
    if (slot.failure) std::rethrow_exception(std::exchange(slot.failure, nullptr));
    SampleRecord& record = contents_.bank.samples[slot.index].record;
    if (slots_.size() == 1) {
        const std::span<const int16_t> pcm = source_.Read(slot.index, scratch_[0]);
        record.length = LengthOf(pcm, slot.index);
        WriteSampleRecord(out_, record);
        EncodeSample(out_, pcm.data(), static_cast<int32_t>(pcm.size()));
    } else {
        record.length = slot.length;
        WriteSampleRecord(out_, record);
        WriteBytes(out_, slot.encoded.Bytes());
    }
    KeepOrReleaseBuffers(slot);
}

void CSampleSectionWriter::KeepOrReleaseBuffers(Slot& slot) {
    // A written sample's buffers stay for the slot's next sample unless the
    // slots' buffers together exceed both kKeptBytes and what the samples
    // always in flight would take at this sample's size. So a lone slot
    // keeps its buffers, and banks of large samples reallocate no more than
    // they did with one slot per sample in flight. The sizes are the ones
    // this thread keeps: the encoding threads change the encoded streams'.
    uint64_t held = 0;
    for (const Slot& any : slots_) held += any.heldBytes;
    if (held > std::max(kKeptBytes, alwaysInFlight_ * slot.heldBytes)) {
        slot.buffer.Release();
        slot.encoded.Release();
        slot.heldBytes = 0;
    }
}

void CSampleSectionWriter::WorkerLoop(std::size_t thread) {
    for (;;) {
        std::size_t index = 0;
        {
            std::unique_lock lock(mutex_);
            queued_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            index = queue_.front();
            queue_.erase(queue_.begin());
        }
        Encode(slots_[index], scratch_[thread]);
    }
}

}  // namespace kbn
