// The survey's output, written and read back: a header line that names the survey, a line a
// deal, and a summary. A merge of seed-range shards reads the files and writes the whole
// survey exactly as one process would have.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// What decides a survey's lines: the deals and the limits of each solve.
struct SurveySetup {
    int32_t colours = 0;
    int32_t width = 0;
    int32_t height = 0;
    int64_t first_seed = 0;
    int64_t count = 0;
    int64_t seconds = 10;  // 0 with a node budget
    int64_t nodes = 0;     // a node budget a deal instead of seconds; 0: none
    int64_t table_mib = 256;
};

// The command line: the survey, or the files to merge.
struct SurveyCommand {
    SurveySetup setup;
    int64_t jobs = 0;  // 0: one a core
    bool merge = false;
    std::vector<std::string> files;
};

constexpr int64_t most_jobs = 1024;
constexpr int64_t most_table_mib = int64_t{1} << 24;
constexpr int64_t most_nodes = int64_t{1} << 32;

// One deal's answer as its line shows it.
struct DealResult {
    int32_t left = 0;
    int32_t moves = 0;
    bool optimal = false;
    int64_t measure = 0;  // milliseconds, or nodes with a node budget
};

struct SurveyTally {
    int64_t deals = 0;
    int64_t cleared = 0;
    int64_t proven = 0;
    int64_t open = 0;  // neither cleared nor proven
    int64_t left = 0;
};

// Reads the arguments after the program's name; false with the message otherwise.
bool parse_survey_command(const std::vector<std::string>& arguments, SurveyCommand& command,
                          std::string& failure);

// The seed of the deal at this index from the first (seeds wrap around at 2^32).
uint32_t seed_at(const SurveySetup& setup, int64_t index);

// Each line with its line feed.
std::string header_line(const SurveySetup& setup);
std::string deal_line(const SurveySetup& setup, int64_t index, const DealResult& result);
std::string summary_line(const SurveyTally& tally);
void add_to_tally(SurveyTally& tally, const DealResult& result);

// One survey's output: the setup its header names and the result of every deal.
struct SurveyFile {
    SurveySetup setup;
    std::vector<DealResult> results;
};

// Reads a whole survey output, checking every line; false with the reason (naming the line)
// when anything is not exactly as the survey writes it.
bool read_survey_file(std::FILE* file, SurveyFile& survey, std::string& failure);

// Joins shards of one survey into the survey of the whole range. The shards must agree on
// all but their seeds and cover one run of seeds once each; names are for the messages.
bool merge_surveys(const std::vector<SurveyFile>& shards, const std::vector<std::string>& names,
                   SurveyFile& merged, std::string& failure);

// The whole output: header, deal lines, summary.
void write_survey_file(const SurveyFile& survey, std::FILE* out);
