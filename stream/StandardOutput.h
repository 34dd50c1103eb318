#pragma once

#include <array>
#include <streambuf>

namespace kbn {

// Standard output behind a buffer of its own, written through the platform
// layer so that a failed write keeps the system's reason: a listing sent to a
// full disk must fail the program and say why, not vanish.
class CStandardOutputBuffer final : public std::streambuf {
public:
    CStandardOutputBuffer();
    CStandardOutputBuffer(const CStandardOutputBuffer&) = delete;
    CStandardOutputBuffer& operator=(const CStandardOutputBuffer&) = delete;

    // Writes what is still buffered. The system's error code of the first
    // write that failed, or 0 when everything was written.
    int Finish();

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    bool Flush();

    std::array<char, 4096> buffer_{};
    int error_ = 0;
};

}  // namespace kbn
