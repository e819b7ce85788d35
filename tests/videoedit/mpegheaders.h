#pragma once

#include <QString>

namespace kc::test {

// What the MPEG headers of a VCD/SVCD/DVD file say, read straight from the bytes.
struct MpegHeaderFacts {
    int packSpacing = 0;     // bytes between the first pack headers (the packet size)
    int muxRate = 0;         // program_mux_rate of the first pack, in 50 bytes/s
    bool mpeg2Pack = false;
    int bitRateField = 0;    // sequence header bit_rate, in 400 bit/s (with the MPEG-2 extension)
    int vbvField = 0;        // sequence header vbv_buffer_size, in 16 kbit
    int aspectCode = 0;      // sequence header aspect_ratio_information
};

MpegHeaderFacts ReadMpegHeaders(const QString &file);

} // namespace kc::test
