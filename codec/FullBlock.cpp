#include "codec/FullBlock.h"

#include "codec/CpuFeatures.h"

namespace kbn {

const std::vector<FullBlockKernel>& AvailableFullBlockKernels() {
    static const std::vector<FullBlockKernel> kernels = [] {
        std::vector<FullBlockKernel> available = {{"portable", kernels::AnalyzePortable, kernels::WritePortable}};
#ifdef KBN_HAVE_SSE2_KERNEL
        available.push_back({"sse2", kernels::AnalyzeSse2, kernels::WriteSse2});
#endif
#ifdef KBN_HAVE_AVX2_KERNEL
        if (cpu::HasAvx2()) available.push_back({"avx2", kernels::AnalyzeAvx2, kernels::WriteAvx2});
#endif
#ifdef KBN_HAVE_AVX512_KERNEL
        if (cpu::HasAvx512()) {
            available.push_back({"avx512", kernels::AnalyzeAvx512, kernels::WriteAvx512});
        }
#endif
        return available;
    }();
    return kernels;
}

const FullBlockKernel& SelectedFullBlockKernel() {
    static const FullBlockKernel& selected = AvailableFullBlockKernels().back();
    return selected;
}

}  // namespace kbn
