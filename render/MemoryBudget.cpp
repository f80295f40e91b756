#include "render/MemoryBudget.h"

#include <cstdio>
#include <cstdlib>

std::uint64_t memoryBudgetBytes()
{
    constexpr std::uint64_t kDefaultBytes = std::uint64_t{1} << 30;
    const char* text = std::getenv("LINESTRA_MEMORY_BUDGET_MB");
    if (text == nullptr || *text == '\0')
        return kDefaultBytes;
    char* end = nullptr;
    const unsigned long long megabytes = std::strtoull(text, &end, 10);
    if (*end != '\0' || megabytes == 0 || megabytes > (std::uint64_t{1} << 40))
        return kDefaultBytes;
    return static_cast<std::uint64_t>(megabytes) << 20;
}

PF_Err reportOverMemoryBudget(PF_InData* in_data, PF_OutData* out_data, const char* what)
{
    if (out_data != nullptr && in_data != nullptr && in_data->utils != nullptr) {
        char text[256];
        std::snprintf(text, sizeof text,
                      "Linestra: %s would need more than the memory budget of %llu MB. Shorten the mask path "
                      "or keep it nearer the frame.",
                      what, static_cast<unsigned long long>(memoryBudgetBytes() >> 20));
        out_data->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
        // The text is the format, as the host's formatting callback is the
        // only way to write the message buffer; it holds no conversion.
        in_data->utils->ansi.sprintf(out_data->return_msg, text);
    }
    return PF_Err_OUT_OF_MEMORY;
}
