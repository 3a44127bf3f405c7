// quillop-survey: deals boards from consecutive seeds and solves each one, several at once;
// or merges the outputs of surveys of seed ranges into the survey of the whole range.
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "board/board.hpp"
#include "solver/solver.hpp"
#include "tools/common/large_pages.hpp"
#include "tools/common/solving.hpp"
#include "tools/common/text_input.hpp"
#include "tools/survey/survey_file.hpp"

namespace {

const char usage[] =
    "usage: quillop-survey [OPTIONS] COLOURS WIDTH HEIGHT FIRST_SEED COUNT [SECONDS]\n"
    "       quillop-survey --merge FILE...\n"
    "Deals COUNT boards with the game's generator from seeds FIRST_SEED, FIRST_SEED + 1, ...\n"
    "and searches each one for up to SECONDS (10) for the moves that leave the fewest tiles.\n"
    "Prints a header line naming the survey ('# quillop-survey' and its settings), then a\n"
    "line a board in seed order: seed, tiles left, moves, 'optimal' (proven) or 'best', and\n"
    "seconds (or the positions searched, with --nodes); then a summary line starting with '#':\n"
    "the share of boards cleared, the share proven, the mean of tiles left, and the range the\n"
    "share of clearable deals lies in.\n"
    "Options:\n"
    "  --jobs N     solve N boards at once (default: one a core), each with a table of its own\n"
    "  --nodes N    search N positions a board instead of SECONDS; the output is then the same\n"
    "               whatever the machine and the number of jobs\n"
    "  --table MIB  the search table of each job, in MiB (default 256)\n"
    "  --merge FILE...  reads the outputs of surveys of adjoining seed ranges (made with the\n"
    "               same settings) and prints the survey of the whole range, exactly as one\n"
    "               run over it would\n"
    "The table memory in all goes to standard error; so does progress when that is a\n"
    "terminal. COLOURS 2 to 5; WIDTH and HEIGHT at least 2, together at most 4096 cells.\n";

// The deals the jobs share. Everything here is under the lock, and so is the engine, whose
// board is the one process-wide board every deal is made on.
struct Survey {
    std::mutex lock;
    SurveySetup setup;
    SolveLimits limits;
    bool progress = false;
    int64_t handed_out = 0;
    int64_t printed = 0;
    std::map<int64_t, DealResult> waiting;  // solved, not yet printed: an earlier one is not
    SurveyTally tally;
    bool failed = false;
    std::string failure;
};

void fail(Survey& survey, int64_t index, const std::string& failure) {
    if (!survey.failed) {
        survey.failed = true;
        survey.failure = "seed " + std::to_string(seed_at(survey.setup, index)) + ": " + failure;
    }
}

void show_progress(const Survey& survey) {
    const auto done = static_cast<long long>(survey.printed);
    const auto to_go = static_cast<long long>(survey.setup.count - survey.printed);
    // \033[K clears what a longer line before left.
    if (done == 0) {
        std::fprintf(stderr, "\r0 done, %lld to go\033[K", to_go);
        return;
    }
    const auto share = [done](int64_t part) {
        return 100.0 * static_cast<double>(part) / static_cast<double>(done);
    };
    std::fprintf(stderr, "\r%lld done, %lld to go; cleared %.1f%%, proven %.1f%% so far\033[K",
                 done, to_go, share(survey.tally.cleared), share(survey.tally.proven));
}

// Prints every solved deal that has no unsolved one before it.
void print_in_order(Survey& survey) {
    for (auto next = survey.waiting.find(survey.printed); next != survey.waiting.end();
         next = survey.waiting.find(survey.printed)) {
        std::fputs(deal_line(survey.setup, survey.printed, next->second).c_str(), stdout);
        if (std::fflush(stdout) != 0) {
            fail(survey, survey.printed,
                 std::string("cannot write the output: ") + std::strerror(errno));
            return;
        }
        add_to_tally(survey.tally, next->second);
        survey.waiting.erase(next);
        ++survey.printed;
        if (survey.progress) {
            show_progress(survey);
        }
    }
}

DealResult result_of(const Solution& solution, bool by_nodes) {
    DealResult result;
    result.left = solution.left;
    result.moves = static_cast<int32_t>(solution.moves.size());
    result.optimal = solution.optimal;
    result.measure = by_nodes ? solution.nodes : std::llround(solution.seconds * 1000);
    return result;
}

// One job: takes the next deal, solves it with its own table, hands the answer back.
void run_job(Survey& survey, TranspositionTable& table) {
    for (;;) {
        Position position;
        int64_t index = 0;
        {
            const std::lock_guard<std::mutex> held(survey.lock);
            if (survey.failed || survey.handed_out == survey.setup.count) {
                return;
            }
            index = survey.handed_out++;
            std::string failure;
            if (deal_board_seeded(survey.setup.colours, survey.setup.width, survey.setup.height,
                                  seed_at(survey.setup, index)) == 0) {
                fail(survey, index, "out of memory for the board");
                return;
            }
            if (!current_position(position, failure)) {
                fail(survey, index, failure);
                return;
            }
        }
        Solution solution;
        std::string failure;
        const bool solved = solve_position(position, survey.limits, table, solution, failure);
        const std::lock_guard<std::mutex> held(survey.lock);
        if (!solved) {
            fail(survey, index, failure.empty() ? "out of memory" : failure);
            return;
        }
        survey.waiting[index] = result_of(solution, survey.setup.nodes > 0);
        print_in_order(survey);
    }
}

// The memory the machine has, 0 when it cannot tell.
uint64_t machine_memory() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page = sysconf(_SC_PAGESIZE);
    return pages > 0 && page > 0 ? static_cast<uint64_t>(pages) * static_cast<uint64_t>(page) : 0;
}

// One table a job, all of them or none: a size the machine cannot give is refused before
// the first solve. calloc would grant far more than there is and fail only when it is used.
bool allocate_tables(std::vector<TranspositionTable>& tables, int64_t table_mib,
                     std::string& failure) {
    const auto bytes = static_cast<std::size_t>(table_mib) << 20;
    const uint64_t memory = machine_memory();
    const auto jobs = static_cast<uint64_t>(tables.size());
    if (memory > 0 && jobs * static_cast<uint64_t>(table_mib) > (memory >> 20)) {
        failure = std::to_string(jobs) + (jobs == 1 ? " table" : " tables") + " of " +
                  std::to_string(table_mib) + " MiB need more than this machine's " +
                  std::to_string(memory >> 20) + " MiB of memory: give a smaller --table" +
                  (jobs > 1 ? " or fewer --jobs" : "");
        return false;
    }
    for (TranspositionTable& table : tables) {
        if (!allocate_table(table, bytes)) {
            failure = "cannot allocate " + std::to_string(jobs) + " search tables of " +
                      std::to_string(table_mib) + " MiB: give a smaller --table" +
                      (jobs > 1 ? " or fewer --jobs" : "");
            for (TranspositionTable& allocated : tables) {
                release_table(allocated);
            }
            return false;
        }
    }
    return true;
}

// The cores this process may run on.
int64_t cores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        return std::max(CPU_COUNT(&set), 1);
    }
    return std::max<int64_t>(std::thread::hardware_concurrency(), 1);
}

// What a table really holds: its size is rounded down to a power of two of buckets.
std::size_t table_bytes(const TranspositionTable& table) {
    return (table.bucket_mask + 1) * least_table_bytes;
}

int run_survey(const SurveyCommand& command) {
    Survey survey;
    survey.setup = command.setup;
    survey.limits.seconds = static_cast<double>(command.setup.seconds);
    survey.limits.nodes = command.setup.nodes;
    survey.progress = isatty(STDERR_FILENO) != 0;
    // No more jobs than deals: a job with no deal would only hold memory.
    const int64_t jobs = std::min(command.jobs > 0 ? command.jobs : cores(), command.setup.count);
    std::vector<TranspositionTable> tables(static_cast<std::size_t>(jobs));
    std::string failure;
    if (!allocate_tables(tables, command.setup.table_mib, failure)) {
        std::fprintf(stderr, "quillop-survey: %s\n", failure.c_str());
        return 1;
    }
    const std::size_t each = table_bytes(tables[0]) >> 20;
    if (jobs == 1) {
        std::fprintf(stderr, "quillop-survey: 1 job, a %zu MiB table\n", each);
    } else {
        std::fprintf(stderr, "quillop-survey: %lld jobs, a %zu MiB table each, %zu MiB in all\n",
                     static_cast<long long>(jobs), each, each * tables.size());
    }

    std::fputs(header_line(survey.setup).c_str(), stdout);
    std::fflush(stdout);
    if (survey.progress) {
        show_progress(survey);
    }
    std::vector<std::thread> threads;
    for (TranspositionTable& table : tables) {
        threads.emplace_back(run_job, std::ref(survey), std::ref(table));
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (TranspositionTable& table : tables) {
        release_table(table);
    }
    release_board();
    if (survey.progress) {
        std::fputs("\n", stderr);
    }
    if (survey.failed) {
        std::fprintf(stderr, "quillop-survey: %s\n", survey.failure.c_str());
        return 1;
    }
    std::fputs(summary_line(survey.tally).c_str(), stdout);
    return 0;
}

int run_merge(const std::vector<std::string>& files) {
    std::vector<SurveyFile> shards(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string name = escaped(files[i]);
        std::FILE* file = std::fopen(files[i].c_str(), "rb");
        if (file == nullptr) {
            std::fprintf(stderr, "quillop-survey: cannot open %s: %s\n", name.c_str(),
                         std::strerror(errno));
            return 2;
        }
        std::string failure;
        const bool read = read_survey_file(file, shards[i], failure);
        std::fclose(file);
        if (!read) {
            std::fprintf(stderr, "quillop-survey: %s: %s\n", name.c_str(), failure.c_str());
            return 2;
        }
    }
    SurveyFile merged;
    std::string failure;
    if (!merge_surveys(shards, files, merged, failure)) {
        std::fprintf(stderr, "quillop-survey: %s\n", failure.c_str());
        return 2;
    }
    write_survey_file(merged, stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(usage, stdout);
        return 0;
    }
    solver_allocate = zeroed_on_large_pages;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    SurveyCommand command;
    std::string failure;
    if (!parse_survey_command(arguments, command, failure)) {
        std::fprintf(stderr, "quillop-survey: %s\n", failure.c_str());
        return 2;
    }
    const int status = command.merge ? run_merge(command.files) : run_survey(command);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "quillop-survey: cannot write the output: %s\n", std::strerror(errno));
        return 1;
    }
    return status;
}
