#include "bank/SampleSectionWriter.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "bank/BankWriter.h"
#include "codec/SampleEncoder.h"
#include "stream/Platform.h"
#include "stream/StreamIo.h"

namespace kbn {

CSampleSectionWriter::CSampleSectionWriter(CStreamOut& out, unsigned threads)
    : out_(out), slots_(threads > 1 ? kSlotsPerThread * threads : 1), scratch_(std::max(threads, 1u)) {
    if (threads <= 1) return;
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

CSampleSectionWriter::Slot& CSampleSectionWriter::TakeSlot(const SampleRecord& record) {
    // The oldest samples go out first, freeing their slots (the one needed
    // now among them) and the read-ahead they held.
    while (MustWriteOutBefore(record)) WriteOutOldest();
    Slot& slot = slots_[next_];
    slot.record = record;
    slot.number = added_++;
    slot.source = nullptr;
    slot.pcm = {};
    slot.heldBytes = std::max(slot.heldBytes, 2 * uint64_t{record.length});
    slot.state = SlotState::Filling;
    pendingPcmBytes_ += 2 * uint64_t{record.length};
    return slot;
}

std::span<int16_t> CSampleSectionWriter::Prepare(const SampleRecord& record) {
    Slot& slot = TakeSlot(record);
    slot.pcm = slot.buffer.Take(record.length);
    return slot.pcm;
}

bool CSampleSectionWriter::MustWriteOutBefore(const SampleRecord& record) const {
    if (pending_ == slots_.size()) return true;
    return pending_ >= alwaysInFlight_ && pendingPcmBytes_ + 2 * uint64_t{record.length} > kReadAheadBytes;
}

void CSampleSectionWriter::WriteOutOldest() {
    Slot& slot = slots_[written_];
    WaitUntilDone(slot);
    WriteOut(slot);
}

void CSampleSectionWriter::AddFrom(const SampleRecord& record, CStreamIn& in, uint64_t position) {
    if (!in.CanReadAt()) {
        const std::span<int16_t> pcm = Prepare(record);
        in.Seek(position);
        ReadPcm16(in, pcm.data(), pcm.size());
    } else {
        Slot& slot = TakeSlot(record);
        slot.source = &in;
        slot.sourcePosition = position;
    }
    Commit();
}

std::span<const int16_t> CSampleSectionWriter::SamplePcm(Slot& slot, CScratchBuffer<int16_t>& scratch) {
    if (slot.source == nullptr) return slot.pcm;
    const std::span<int16_t> pcm = scratch.Take(slot.record.length);
    ReadPcm16At(*std::exchange(slot.source, nullptr), slot.sourcePosition, pcm.data(), pcm.size());
    return pcm;
}

void CSampleSectionWriter::Commit() {
    const std::size_t index = next_;
    Slot& slot = slots_[index];
    next_ = (next_ + 1) % slots_.size();
    ++pending_;
    if (slots_.size() == 1) {
        slot.state = SlotState::Done;
        WriteOut(slot);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        slot.state = SlotState::Queued;
        queue_.push_back(index);
    }
    queued_.notify_one();
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
        if (firstFailed_ < slot.number) failure = firstFailure_;
    }
    if (!failure) {
        try {
            const std::span<const int16_t> pcm = SamplePcm(slot, scratch);
            slot.encoded.Clear();
            EncodeSample(slot.encoded, pcm.data(), static_cast<int32_t>(pcm.size()));
        } catch (...) {
            failure = std::current_exception();
        }
    }
    {
        std::lock_guard lock(mutex_);
        if (failure && slot.number < firstFailed_) {
            firstFailure_ = failure;
            firstFailed_ = slot.number;
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
    pendingPcmBytes_ -= 2 * uint64_t{slot.record.length};
    if (slot.failure) std::rethrow_exception(std::exchange(slot.failure, nullptr));
    if (slots_.size() == 1) {
        const std::span<const int16_t> pcm = SamplePcm(slot, scratch_[0]);
        WriteSampleRecord(out_, slot.record);
        EncodeSample(out_, pcm.data(), static_cast<int32_t>(pcm.size()));
    } else {
        WriteSampleRecord(out_, slot.record);
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

unsigned DefaultThreadCount() { return platform::UsableCoreCount(); }

}  // namespace kbn
