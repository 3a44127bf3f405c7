// quillop-survey --merge's reader and merge on any bytes, cut into shard files at each 0x1E
// byte. A refusal comes with a reason that holds no control byte; a merge that is accepted,
// written out and read back is the same survey.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.hpp"
#include "tools/survey/survey_file.hpp"

namespace {

void check_message(const std::string& failure) {
    check(!failure.empty());
    for (const char c : failure) {
        const auto byte = static_cast<unsigned char>(c);
        check(byte >= 0x20 && byte != 0x7F);
    }
}

bool read_bytes(const char* data, std::size_t size, SurveyFile& survey, std::string& failure) {
    static char none = 0;
    std::FILE* file = fmemopen(size > 0 ? const_cast<char*>(data) : &none, size, "r");
    check(file != nullptr);
    const bool read = read_survey_file(file, survey, failure);
    std::fclose(file);
    return read;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::vector<SurveyFile> shards;
    std::vector<std::string> names;
    for (std::size_t start = 0; start <= bytes.size() && shards.size() < 8;) {
        std::size_t end = bytes.find('\x1e', start);
        end = end == std::string::npos ? bytes.size() : end;
        SurveyFile shard;
        std::string failure;
        if (!read_bytes(bytes.data() + start, end - start, shard, failure)) {
            check_message(failure);
            return 0;
        }
        check(static_cast<int64_t>(shard.results.size()) == shard.setup.count);
        shards.push_back(shard);
        names.push_back("shard " + std::to_string(shards.size()));
        start = end + 1;
    }
    SurveyFile merged;
    std::string failure;
    if (!merge_surveys(shards, names, merged, failure)) {
        check_message(failure);
        return 0;
    }
    char* text = nullptr;
    std::size_t length = 0;
    std::FILE* out = open_memstream(&text, &length);
    check(out != nullptr);
    write_survey_file(merged, out);
    std::fclose(out);
    SurveyFile again;
    check(read_bytes(text, length, again, failure));
    std::free(text);
    check(header_line(again.setup) == header_line(merged.setup));
    check(again.results.size() == merged.results.size());
    for (std::size_t i = 0; i < again.results.size(); ++i) {
        check(deal_line(again.setup, static_cast<int64_t>(i), again.results[i]) ==
              deal_line(merged.setup, static_cast<int64_t>(i), merged.results[i]));
    }
    return 0;
}
