#include "check_program_fixture.h"

namespace {

// Python's answer to `code`, which reads the file `in` as its input.
ProcessRun RunPython(const std::vector<std::string> &code, const fs::path &in,
                     const fs::path &dir) {
    return RunProcess({.program = TestPath("PYTHON3"), .arguments = code, .dir = dir, .in = in});
}

} // namespace

json ParseJUnit(const fs::path &xml, const fs::path &dir) {
    const ProcessRun parsed = RunPython({TestPath("JUNIT_TO_JSON")}, xml, dir);
    EXPECT_EQ(parsed.status, 0) << parsed.err << FileText(xml);
    return json::parse(parsed.out);
}

std::uint32_t FileCrc32(const fs::path &file, const fs::path &dir) {
    const ProcessRun crc = RunPython(
        {"-c", "import sys, zlib; print(zlib.crc32(sys.stdin.buffer.read()))"}, file, dir);
    EXPECT_EQ(crc.status, 0) << crc.err;
    return static_cast<std::uint32_t>(std::stoul(crc.out));
}
