#include "tools/survey/survey_file.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <numeric>

#include "solver/solver.hpp"
#include "tools/common/text_input.hpp"

namespace {

const char header_start[] = "# quillop-survey ";
// Longer than any line the survey writes, so a longer one is refused before it is kept.
constexpr std::size_t longest_line = 200;

struct Argument {
    const char* name;
    int64_t low;
    int64_t high;
};

const Argument positionals[] = {{"COLOURS", 2, 5},
                                {"WIDTH", 2, most_solver_cells / 2},
                                {"HEIGHT", 2, most_solver_cells / 2},
                                {"FIRST_SEED", 0, UINT32_MAX},
                                {"COUNT", 1, INT32_MAX},
                                {"SECONDS", 1, 86400}};

bool number_of(const std::string& name, const std::string& text, int64_t low, int64_t high,
               int64_t& value, std::string& failure) {
    if (word_value(word_of(text), low, high, value)) {
        return true;
    }
    failure = name + " '" + escaped(text) + "' is not a number from " + std::to_string(low) +
              " to " + std::to_string(high);
    return false;
}

struct Option {
    const char* name;
    int64_t low;
    int64_t high;
    int64_t* value;
    bool given;
};

bool parse_survey(const std::vector<std::string>& arguments, SurveyCommand& command,
                  std::string& failure) {
    Option options[] = {{"--jobs", 1, most_jobs, &command.jobs, false},
                        {"--nodes", 1, most_nodes, &command.setup.nodes, false},
                        {"--table", 1, most_table_mib, &command.setup.table_mib, false}};
    std::vector<std::string> values;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.rfind("--", 0) != 0) {
            values.push_back(argument);
            continue;
        }
        Option* option = nullptr;
        for (Option& candidate : options) {
            option = argument == candidate.name ? &candidate : option;
        }
        if (argument == "--merge") {
            failure = "--merge comes first and takes only files";
            return false;
        }
        if (option == nullptr) {
            failure = "unknown option '" + escaped(argument) + "' (--help lists them)";
            return false;
        }
        if (option->given) {
            failure = argument + " is given twice";
            return false;
        }
        if (i + 1 == arguments.size()) {
            failure = argument + " needs a value";
            return false;
        }
        option->given = true;
        ++i;
        if (!number_of(argument, arguments[i], option->low, option->high, *option->value,
                       failure)) {
            return false;
        }
    }
    if (values.size() < 5 || values.size() > 6) {
        failure =
            "takes COLOURS WIDTH HEIGHT FIRST_SEED COUNT [SECONDS] and options, "
            "not " +
            std::to_string(values.size()) + " numbers (--help tells more)";
        return false;
    }
    int64_t numbers[6] = {0, 0, 0, 0, 0, 10};
    for (std::size_t i = 0; i < values.size(); ++i) {
        const Argument& argument = positionals[i];
        if (!number_of(argument.name, values[i], argument.low, argument.high, numbers[i],
                       failure)) {
            return false;
        }
    }
    if (values.size() == 6 && options[1].given) {
        failure = "SECONDS and --nodes exclude each other: a node budget replaces the time limit";
        return false;
    }
    SurveySetup& setup = command.setup;
    setup.colours = static_cast<int32_t>(numbers[0]);
    setup.width = static_cast<int32_t>(numbers[1]);
    setup.height = static_cast<int32_t>(numbers[2]);
    setup.first_seed = numbers[3];
    setup.count = numbers[4];
    setup.seconds = options[1].given ? 0 : numbers[5];
    return solver_takes_size(setup.width, setup.height, failure);
}

bool same_survey(const SurveySetup& a, const SurveySetup& b) {
    return a.colours == b.colours && a.width == b.width && a.height == b.height &&
           a.seconds == b.seconds && a.nodes == b.nodes && a.table_mib == b.table_mib;
}

std::vector<std::string> words_of(const std::string& line) {
    std::vector<std::string> words;
    std::size_t start = 0;
    for (std::size_t space = line.find(' '); space != std::string::npos;
         space = line.find(' ', start)) {
        words.push_back(line.substr(start, space - start));
        start = space + 1;
    }
    words.push_back(line.substr(start));
    return words;
}

// SECONDS as the lines write it: whole seconds, a point and three digits.
bool milliseconds_of(const std::string& text, int64_t& milliseconds) {
    const std::size_t point = text.find('.');
    int64_t whole = 0;
    int64_t thousandths = 0;
    if (point == std::string::npos || text.size() - point != 4 ||
        !word_value(word_of(text.substr(0, point)), 0, INT32_MAX, whole) ||
        !word_value(word_of(text.substr(point + 1)), 0, 999, thousandths)) {
        return false;
    }
    milliseconds = whole * 1000 + thousandths;
    return true;
}

bool read_deal_line(const SurveySetup& setup, int64_t index, const std::string& line,
                    DealResult& result, std::string& failure) {
    const std::vector<std::string> words = words_of(line);
    const int64_t cells = int64_t{setup.width} * setup.height;
    int64_t seed = 0;
    int64_t left = 0;
    int64_t moves = 0;
    const bool numbers = words.size() == 5 && word_value(word_of(words[0]), 0, UINT32_MAX, seed) &&
                         word_value(word_of(words[1]), 0, cells, left) &&
                         word_value(word_of(words[2]), 0, cells / 2, moves);
    if (numbers && seed != seed_at(setup, index)) {
        failure = "seed " + std::to_string(seed) + " where seed " +
                  std::to_string(seed_at(setup, index)) + " comes next";
        return false;
    }
    result.left = static_cast<int32_t>(left);
    result.moves = static_cast<int32_t>(moves);
    result.optimal = numbers && words[3] == "optimal";
    const bool measured =
        numbers &&
        (setup.nodes > 0 ? word_value(word_of(words[4]), 0, largest_magnitude, result.measure)
                         : milliseconds_of(words[4], result.measure));
    if (!measured || deal_line(setup, index, result) != line + "\n") {
        failure = "'" + escaped(line) + "' is not a deal line (SEED LEFT MOVES optimal|best " +
                  (setup.nodes > 0 ? "NODES" : "SECONDS") + ")";
        return false;
    }
    if (left + 2 * moves > cells) {
        failure = "more tiles left and moves made than a " + std::to_string(setup.width) + " x " +
                  std::to_string(setup.height) + " board holds";
        return false;
    }
    return true;
}

enum class LineRead { line, end, too_long, cut_short, failed };

// The next line without its line feed, at most longest_line bytes of it kept.
LineRead read_line(std::FILE* file, std::string& line) {
    line.clear();
    int c = std::fgetc(file);
    if (c == EOF) {
        return std::ferror(file) ? LineRead::failed : LineRead::end;
    }
    for (; c != EOF && c != '\n'; c = std::fgetc(file)) {
        if (line.size() == longest_line) {
            return LineRead::too_long;
        }
        line.push_back(static_cast<char>(c));
    }
    if (c == EOF) {
        return std::ferror(file) ? LineRead::failed : LineRead::cut_short;
    }
    return LineRead::line;
}

bool read_header(const std::string& line, SurveySetup& setup, std::string& failure) {
    const std::size_t start = sizeof header_start - 1;
    if (line.compare(0, start, header_start) != 0) {
        failure = "'" + escaped(line) + "' is no survey header ('" + header_start + "...')";
        return false;
    }
    SurveyCommand command;
    std::string why;
    if (!parse_survey(words_of(line.substr(start)), command, why)) {
        failure = "in the header, " + why;
        return false;
    }
    if (header_line(command.setup) != line + "\n") {
        failure = "'" + escaped(line) + "' is not a header as the survey writes it";
        return false;
    }
    setup = command.setup;
    return true;
}

}  // namespace

bool parse_survey_command(const std::vector<std::string>& arguments, SurveyCommand& command,
                          std::string& failure) {
    command = SurveyCommand{};
    if (!arguments.empty() && arguments[0] == "--merge") {
        if (arguments.size() < 2) {
            failure = "--merge needs the files of the shards";
            return false;
        }
        command.merge = true;
        command.files.assign(arguments.begin() + 1, arguments.end());
        return true;
    }
    return parse_survey(arguments, command, failure);
}

uint32_t seed_at(const SurveySetup& setup, int64_t index) {
    return static_cast<uint32_t>((setup.first_seed + index) & 0xFFFFFFFF);
}

std::string header_line(const SurveySetup& setup) {
    std::string line = header_start + std::to_string(setup.colours) + " " +
                       std::to_string(setup.width) + " " + std::to_string(setup.height) + " " +
                       std::to_string(setup.first_seed) + " " + std::to_string(setup.count);
    line += setup.nodes > 0 ? " --nodes " + std::to_string(setup.nodes)
                            : " " + std::to_string(setup.seconds);
    return line + " --table " + std::to_string(setup.table_mib) + "\n";
}

std::string deal_line(const SurveySetup& setup, int64_t index, const DealResult& result) {
    char measure[32];
    if (setup.nodes > 0) {
        std::snprintf(measure, sizeof measure, "%lld", static_cast<long long>(result.measure));
    } else {
        std::snprintf(measure, sizeof measure, "%lld.%03lld",
                      static_cast<long long>(result.measure / 1000),
                      static_cast<long long>(result.measure % 1000));
    }
    return std::to_string(seed_at(setup, index)) + " " + std::to_string(result.left) + " " +
           std::to_string(result.moves) + " " + (result.optimal ? "optimal " : "best ") + measure +
           "\n";
}

std::string summary_line(const SurveyTally& tally) {
    const auto percent = [&tally](int64_t part) {
        return 100.0 * static_cast<double>(part) / static_cast<double>(tally.deals);
    };
    char line[256];
    std::snprintf(line, sizeof line,
                  "# %lld boards: cleared %.1f%%, proven %.1f%%, mean tiles left %.2f; "
                  "clearable %.1f%% to %.1f%%\n",
                  static_cast<long long>(tally.deals), percent(tally.cleared),
                  percent(tally.proven),
                  static_cast<double>(tally.left) / static_cast<double>(tally.deals),
                  percent(tally.cleared), percent(tally.cleared + tally.open));
    return line;
}

void add_to_tally(SurveyTally& tally, const DealResult& result) {
    ++tally.deals;
    tally.cleared += result.left == 0 ? 1 : 0;
    tally.proven += result.optimal ? 1 : 0;
    tally.open += !result.optimal && result.left > 0 ? 1 : 0;
    tally.left += result.left;
}

bool read_survey_file(std::FILE* file, SurveyFile& survey, std::string& failure) {
    survey = SurveyFile{};
    std::string line;
    SurveyTally tally;
    for (int64_t number = 1;; ++number) {
        const LineRead read = read_line(file, line);
        const std::string at = "line " + std::to_string(number) + ": ";
        const int64_t deals = static_cast<int64_t>(survey.results.size());
        switch (read) {
            case LineRead::failed:
                failure = at + "cannot be read: " + std::strerror(errno != 0 ? errno : EIO);
                return false;
            case LineRead::too_long:
                failure = at + "longer than any line of a survey";
                return false;
            case LineRead::cut_short:
                failure = at + "cut short, with no line end";
                return false;
            case LineRead::end:
                if (number == 1) {
                    failure = "empty, no survey";
                } else if (deals < survey.setup.count) {
                    failure = "ends after " + std::to_string(deals) + " of " +
                              std::to_string(survey.setup.count) + " deals";
                } else if (number == deals + 2) {
                    failure = "ends before the summary";
                } else {
                    return true;
                }
                return false;
            case LineRead::line:
                break;
        }
        if (number == 1) {
            if (!read_header(line, survey.setup, failure)) {
                failure = at + failure;
                return false;
            }
        } else if (deals < survey.setup.count) {
            DealResult result;
            if (line.rfind("# ", 0) == 0) {
                failure = at + "the summary comes after " + std::to_string(deals) + " of " +
                          std::to_string(survey.setup.count) + " deals";
                return false;
            }
            if (!read_deal_line(survey.setup, deals, line, result, failure)) {
                failure = at + failure;
                return false;
            }
            survey.results.push_back(result);
            add_to_tally(tally, result);
        } else if (number == deals + 2) {
            if (summary_line(tally) != line + "\n") {
                std::string expected = summary_line(tally);
                expected.pop_back();
                failure = at + "the summary '" + escaped(line) +
                          "' does not match the deals above it, which make '" + expected + "'";
                return false;
            }
        } else {
            failure = at + "more follows the summary";
            return false;
        }
    }
}

bool merge_surveys(const std::vector<SurveyFile>& shards, const std::vector<std::string>& names,
                   SurveyFile& merged, std::string& failure) {
    merged = SurveyFile{};
    if (shards.empty() || names.size() != shards.size()) {
        failure = "no shards to merge";
        return false;
    }
    for (std::size_t i = 1; i < shards.size(); ++i) {
        if (!same_survey(shards[i].setup, shards[0].setup)) {
            failure = escaped(names[i]) + " surveys other deals or limits than " +
                      escaped(names[0]) + " (the headers differ in more than the seeds)";
            return false;
        }
    }
    std::vector<std::size_t> order(shards.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&shards](std::size_t a, std::size_t b) {
        return shards[a].setup.first_seed < shards[b].setup.first_seed;
    });
    merged.setup = shards[order[0]].setup;
    int64_t end = merged.setup.first_seed;  // beyond the seeds so far, counted without wrapping
    for (std::size_t i = 0; i < order.size(); ++i) {
        const SurveySetup& setup = shards[order[i]].setup;
        if (setup.first_seed < end) {
            failure = escaped(names[order[i - 1]]) + " and " + escaped(names[order[i]]) +
                      " overlap: both have seed " + std::to_string(seed_at(setup, 0));
            return false;
        }
        if (setup.first_seed > end) {
            failure = "no file has seeds " +
                      std::to_string(seed_at(merged.setup, end - merged.setup.first_seed)) +
                      " to " + std::to_string(seed_at(setup, -1));
            return false;
        }
        end += setup.count;
        if (end - merged.setup.first_seed > INT32_MAX) {
            failure = "the shards hold more than " + std::to_string(INT32_MAX) +
                      " deals, more than one survey takes";
            return false;
        }
        const std::vector<DealResult>& results = shards[order[i]].results;
        merged.results.insert(merged.results.end(), results.begin(), results.end());
    }
    merged.setup.count = end - merged.setup.first_seed;
    return true;
}

void write_survey_file(const SurveyFile& survey, std::FILE* out) {
    std::fputs(header_line(survey.setup).c_str(), out);
    SurveyTally tally;
    for (std::size_t i = 0; i < survey.results.size(); ++i) {
        std::fputs(deal_line(survey.setup, static_cast<int64_t>(i), survey.results[i]).c_str(),
                   out);
        add_to_tally(tally, survey.results[i]);
    }
    std::fputs(summary_line(tally).c_str(), out);
}
