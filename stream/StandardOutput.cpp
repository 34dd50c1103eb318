#include "stream/StandardOutput.h"

#include "platform/Platform.h"

namespace kbn {

CStandardOutputBuffer::CStandardOutputBuffer() { setp(buffer_.data(), buffer_.data() + buffer_.size()); }

int CStandardOutputBuffer::Finish() {
    Flush();
    return error_;
}

CStandardOutputBuffer::int_type CStandardOutputBuffer::overflow(int_type c) {
    if (!Flush()) return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

int CStandardOutputBuffer::sync() { return Flush() ? 0 : -1; }

bool CStandardOutputBuffer::Flush() {
    const auto size = static_cast<std::size_t>(pptr() - pbase());
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    // After a failure the rest is dropped: its reason is the first one's.
    if (error_ != 0) return false;
    if (size != 0 && !platform::WriteStandardOutput(buffer_.data(), size)) {
        const int code = platform::LastError();
        error_ = code != 0 ? code : -1;
    }
    return error_ == 0;
}

}  // namespace kbn
