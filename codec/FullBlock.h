#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "codec/BitWriter.h"
#include "codec/BlockAnalysis.h"

// The encoder's hot path: blocks of exactly 32 samples. Several kernels do
// the same work (a portable one, SSE2 on every x86-64, AVX2 and AVX-512
// where the processor has them); the fastest one available is chosen once,
// at run time.
// Every kernel gives exactly what ComputeResidualRows, ChooseBlockCoding and
// CBitWriter::WriteRiceCodes give.
namespace kbn {

// A full block is read with the three samples before it, block[-3] to
// block[-1]: they are the predictor history (zeros before a sample's first
// block), since the last values of the previous block's rows 0, 1 and 2 are
// x[-1], x[-1] - x[-2] and x[-1] - 2 x[-2] + x[-3].
inline constexpr uint32_t kBlockLookBehind = 3;

struct FullBlockKernel {
    const char* name;
    // The cheapest coding of the 32 samples at `block`.
    BlockCoding (*analyze)(const int16_t* block);
    // The block's 6 header bits and the Rice codes of row `order` with `k`.
    void (*write)(const int16_t* block, uint32_t order, uint32_t k, CBitWriter& bits);
};

// The kernels this processor can run, the fastest last.
const std::vector<FullBlockKernel>& AvailableFullBlockKernels();

// The fastest of them.
const FullBlockKernel& SelectedFullBlockKernel();

// The kernels, for the dispatch and for tests.
namespace kernels {
BlockCoding AnalyzePortable(const int16_t* block);
void WritePortable(const int16_t* block, uint32_t order, uint32_t k, CBitWriter& bits);
#if defined(__x86_64__) || defined(_M_X64) || defined(__SSE2__)
#define KBN_HAVE_SSE2_KERNEL 1
BlockCoding AnalyzeSse2(const int16_t* block);
void WriteSse2(const int16_t* block, uint32_t order, uint32_t k, CBitWriter& bits);
#endif
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#define KBN_HAVE_AVX2_KERNEL 1
BlockCoding AnalyzeAvx2(const int16_t* block);
void WriteAvx2(const int16_t* block, uint32_t order, uint32_t k, CBitWriter& bits);
#define KBN_HAVE_AVX512_KERNEL 1
BlockCoding AnalyzeAvx512(const int16_t* block);
void WriteAvx512(const int16_t* block, uint32_t order, uint32_t k, CBitWriter& bits);
#endif
}  // namespace kernels

}  // namespace kbn
