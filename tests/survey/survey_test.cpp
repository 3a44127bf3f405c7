// quillop-survey's jobs, its options, and the reading and merging of shard outputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/common/tool_runs.hpp"
#include "tools/survey/survey_file.hpp"

namespace {

class SurveyToolTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.made()); }

    ToolRun survey(const std::string& arguments) {
        return run_tool(folder, "'" QUILLOP_SURVEY_TOOL "' " + arguments + " < /dev/null");
    }

    const TestFolder folder;
};

// Five colours on 10 x 8 with a small budget.
const char hard_survey[] = "5 10 8 1 8 --nodes 20000 --table 4";

TEST_F(SurveyToolTest, JobsPrintTheBytesOfOneJobWithANodeBudget) {
    const ToolRun one = survey(std::string("--jobs 1 ") + hard_survey);
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(one.err, "quillop-survey: 1 job, a 4 MiB table\n");
    // Deals that take different work, so that the jobs finish out of seed order.
    std::set<std::string> work;
    std::istringstream deals(one.out);
    for (std::string line; std::getline(deals, line);) {
        work.insert(line.substr(line.rfind(' ') + 1));
    }
    EXPECT_GE(work.size(), 2u + 3) << one.out;  // header and summary end in other words
    const std::string lines = one.out.substr(0, one.out.rfind("\n# "));
    EXPECT_EQ(lines.find('.'), std::string::npos) << one.out;  // no seconds in the lines
    for (const char* jobs : {"--jobs 2 ", "--jobs 3 "}) {
        const ToolRun many = survey(jobs + std::string(hard_survey));
        ASSERT_EQ(many.status, 0) << many.err;
        EXPECT_EQ(many.out, one.out) << jobs;
    }
    const ToolRun three = survey(std::string("--jobs 3 ") + hard_survey);
    EXPECT_EQ(three.err, "quillop-survey: 3 jobs, a 4 MiB table each, 12 MiB in all\n");
    // No more jobs than deals, and the option may come anywhere.
    const ToolRun few = survey("2 4 3 1 2 --nodes 100 --jobs 5");
    ASSERT_EQ(few.status, 0) << few.err;
    EXPECT_EQ(few.err, "quillop-survey: 2 jobs, a 256 MiB table each, 512 MiB in all\n");
}

TEST_F(SurveyToolTest, BadOptionsAndTablesTooLargeAreRefusedBeforeAnySolve) {
    const struct {
        const char* arguments;
        const char* message;
    } bad[] = {
        {"--jobs 0 2 4 3 1 2", "--jobs '0' is not a number from 1 to 1024"},
        {"--jobs two 2 4 3 1 2", "--jobs 'two' is not a number"},
        {"2 4 3 1 2 --jobs", "--jobs needs a value"},
        {"--jobs 1 --jobs 2 2 4 3 1 2", "--jobs is given twice"},
        {"--nodes 0 2 4 3 1 2", "--nodes '0' is not a number from 1 to 4294967296"},
        {"--nodes 100 2 4 3 1 2 5", "SECONDS and --nodes exclude each other"},
        {"--table 0 2 4 3 1 2", "--table '0' is not a number from 1 to 16777216"},
        {"--tables 4 2 4 3 1 2", "unknown option '--tables'"},
        {"2 4 3 1 2 --merge x", "--merge comes first"},
        {"--merge", "--merge needs the files"},
        {"--jobs 2 2 4 3",
         "takes COLOURS WIDTH HEIGHT FIRST_SEED COUNT [SECONDS] and options, not 3"},
    };
    for (const auto& run : bad) {
        const ToolRun result = survey(run.arguments);
        EXPECT_EQ(result.status, 2) << run.arguments;
        EXPECT_EQ(result.out, "") << run.arguments;
        EXPECT_EQ(result.err.rfind(std::string("quillop-survey: ") + run.message, 0), 0u)
            << run.arguments << "\n"
            << result.err;
    }
    // 16 TiB a job, more than any machine that runs the tests has.
    const ToolRun huge = survey("--table 16777216 --jobs 2 2 4 3 1 2 --nodes 100");
    EXPECT_EQ(huge.status, 1);
    EXPECT_EQ(huge.out, "");
    EXPECT_EQ(huge.err.rfind("quillop-survey: 2 tables of 16777216 MiB need more than this "
                             "machine's ",
                             0),
              0u)
        << huge.err;
    EXPECT_NE(huge.err.find("give a smaller --table or fewer --jobs\n"), std::string::npos);

    const ToolRun help = survey("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--jobs N", "--nodes N", "--table MIB", "--merge FILE..."}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
}

TEST_F(SurveyToolTest, MergedShardsAreTheWholeSurveyAndBadShardsAreNamed) {
    const ToolRun whole = survey("3 6 5 4 7 --nodes 500 --table 1");
    ASSERT_EQ(whole.status, 0) << whole.err;
    const ToolRun low = survey("3 6 5 4 3 --nodes 500 --table 1");
    const ToolRun high = survey("3 6 5 7 4 --nodes 500 --table 1");
    ASSERT_EQ(low.status, 0) << low.err;
    ASSERT_EQ(high.status, 0) << high.err;
    write_text(folder.file("low"), low.out);
    write_text(folder.file("high"), high.out);
    const ToolRun merged =
        survey("--merge '" + folder.file("high") + "' '" + folder.file("low") + "'");
    EXPECT_EQ(merged.status, 0) << merged.err;
    EXPECT_EQ(merged.err, "");
    EXPECT_EQ(merged.out, whole.out);

    const ToolRun twice =
        survey("--merge '" + folder.file("low") + "' '" + folder.file("low") + "'");
    EXPECT_EQ(twice.status, 2);
    EXPECT_EQ(twice.out, "");
    EXPECT_NE(twice.err.find("overlap: both have seed 4"), std::string::npos) << twice.err;
    const ToolRun missing = survey("--merge '" + folder.file("none") + "'");
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("cannot open"), std::string::npos) << missing.err;
    write_text(folder.file("cut"), read_text(folder.file("high")).substr(0, 60));
    const ToolRun cut = survey("--merge '" + folder.file("low") + "' '" + folder.file("cut") + "'");
    EXPECT_EQ(cut.status, 2);
    EXPECT_EQ(cut.out, "");
    EXPECT_EQ(cut.err.rfind("quillop-survey: " + folder.file("cut") + ": line ", 0), 0u) << cut.err;
}

// The reader on text as it comes from a file.
bool read_text_survey(const std::string& text, SurveyFile& survey, std::string& failure) {
    std::FILE* file = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    if (file == nullptr) {
        failure = "fmemopen failed";
        return false;
    }
    const bool read = read_survey_file(file, survey, failure);
    std::fclose(file);
    return read;
}

const std::string header = "# quillop-survey 4 6 5 1 3 --nodes 300 --table 8\n";
const std::string deals = "1 0 8 optimal 120\n2 2 9 best 300\n3 0 8 optimal 33\n";
const std::string summary =
    "# 3 boards: cleared 66.7%, proven 66.7%, mean tiles left 0.67; clearable 66.7% to "
    "100.0%\n";

TEST(SurveyFileTest, TheReaderTakesOnlyWhatTheSurveyWrites) {
    SurveyFile survey;
    std::string failure;
    ASSERT_TRUE(read_text_survey(header + deals + summary, survey, failure)) << failure;
    EXPECT_EQ(survey.setup.colours, 4);
    EXPECT_EQ(survey.setup.nodes, 300);
    ASSERT_EQ(survey.results.size(), 3u);
    EXPECT_EQ(survey.results[1].left, 2);
    EXPECT_FALSE(survey.results[1].optimal);
    const std::string timed =
        "# quillop-survey 4 6 5 9 1 10 --table 256\n9 0 8 optimal 12.034\n"
        "# 1 boards: cleared 100.0%, proven 100.0%, mean tiles left 0.00; "
        "clearable 100.0% to 100.0%\n";
    ASSERT_TRUE(read_text_survey(timed, survey, failure)) << failure;
    EXPECT_EQ(survey.results[0].measure, 12034);

    const std::string line2 = "2 2 9 best 300\n";
    const struct {
        std::string text;
        const char* message;
    } bad[] = {
        {"", "empty, no survey"},
        {deals, "line 1: '1 0 8 optimal 120' is no survey header"},
        {"# quillop-survey 4 6 5 1 3 --nodes 300\n",
         "line 1: '# quillop-survey 4 6 5 1 3 --nodes 300' is not a header as the survey writes "
         "it"},
        {"# quillop-survey 4 6 5 1 3 --nodes 300 --table 8 --jobs 2\n",
         "line 1: '# quillop-survey 4 6 5 1 3 --nodes 300 --table 8 --jobs 2' is not a header"},
        {"# quillop-survey 4 6 5 1 3  --nodes 300 --table 8\n",
         "line 1: in the header, SECONDS '' is not a number"},
        {"# quillop-survey 7 6 5 1 3 --nodes 300 --table 8\n",
         "line 1: in the header, COLOURS '7' is not a number from 2 to 5"},
        {"# quillop-survey 4 6 5 1 3 9 --nodes 300 --table 8\n",
         "line 1: in the header, SECONDS and --nodes"},
        {"# quillop-survey 4 6 5 1 3 --nodes 300 --table 8\r\n",
         "line 1: in the header, --table '8\\r' is not a number"},
        {header + "1 0 8 optimal 120\n3 0 8 optimal 33\n",
         "line 3: seed 3 where seed 2 comes next"},
        {header + "1 0 8 optimal 120\n2 2 9 good 300\n",
         "line 3: '2 2 9 good 300' is not a deal line (SEED LEFT MOVES optimal|best NODES)"},
        {header + "1 0 8 optimal 12.000\n", "line 2: '1 0 8 optimal 12.000' is not a deal line"},
        {header + "1 0 8 optimal +120\n", "line 2: '1 0 8 optimal +120' is not"},
        {header + "1 0 08 optimal 120\n", "line 2: '1 0 08 optimal 120' is not"},
        {header + "1 0 8 optimal 120 \n", "line 2: '1 0 8 optimal 120 ' is not"},
        {header + "1 31 0 best 120\n", "line 2: '1 31 0 best 120' is not"},
        {header + "1 20 8 best 120\n",
         "line 2: more tiles left and moves made than a 6 x 5 board holds"},
        {header + std::string("1 0 8 optimal 1\0"
                              "20\n",
                              19),
         "line 2: '1 0 8 optimal 1\\020' is not"},
        {header + "1 0 8 optimal 120", "line 2: cut short, with no line end"},
        {header + "1 0 8 optimal 120\n" + std::string(300, '7') + "\n",
         "line 3: longer than any line"},
        {header + "1 0 8 optimal 120\n" + summary, "line 3: the summary comes after 1 of 3 deals"},
        {header + "1 0 8 optimal 120\n" + line2, "ends after 2 of 3 deals"},
        {header + deals, "ends before the summary"},
        {header + deals + "# 3 boards: cleared 100.0%\n",
         "line 5: the summary '# 3 boards: cleared 100.0%' does not match the deals above it, "
         "which make '# 3 boards: cleared 66.7%, "},
        {header + deals + summary + "\n", "line 6: more follows the summary"},
        {header + deals + summary + summary, "line 6: more follows the summary"},
        {"# quillop-survey 4 6 5 1 3 10 --table 8\n1 0 8 optimal 1.5\n",
         "line 2: '1 0 8 optimal 1.5' is not a deal line (SEED LEFT MOVES optimal|best SECONDS)"},
        {"# quillop-survey 4 6 5 1 3 10 --table 8\n1 0 8 optimal 120\n",
         "line 2: '1 0 8 optimal 120' is not a deal line"},
        {"# quillop-survey 4 6 5 1 3 10 --table 8\n1 0 8 optimal -1.000\n",
         "line 2: '1 0 8 optimal -1.000' is not"},
    };
    for (const auto& run : bad) {
        SurveyFile refused;
        failure.clear();
        EXPECT_FALSE(read_text_survey(run.text, refused, failure)) << run.text;
        EXPECT_EQ(failure.rfind(run.message, 0), 0u) << run.text << "\n" << failure;
    }
}

TEST(SurveyFileTest, ShardsMergeOnlyWhenTheyAreOneRunOfOneSurvey) {
    const auto shard_of = [](int64_t first, int64_t count, int64_t table_mib) {
        SurveyFile shard;
        shard.setup.colours = 4;
        shard.setup.width = 6;
        shard.setup.height = 5;
        shard.setup.first_seed = first;
        shard.setup.count = count;
        shard.setup.seconds = 10;
        shard.setup.table_mib = table_mib;
        for (int64_t i = 0; i < std::min<int64_t>(count, 16); ++i) {  // the merge trusts the count
            DealResult result;
            result.left = static_cast<int32_t>(first + i);
            shard.results.push_back(result);
        }
        return shard;
    };
    SurveyFile merged;
    std::string failure;
    ASSERT_TRUE(merge_surveys({shard_of(7, 2, 8), shard_of(3, 4, 8), shard_of(9, 1, 8)},
                              {"b", "a", "c"}, merged, failure))
        << failure;
    EXPECT_EQ(merged.setup.first_seed, 3);
    EXPECT_EQ(merged.setup.count, 7);
    ASSERT_EQ(merged.results.size(), 7u);
    for (std::size_t i = 0; i < merged.results.size(); ++i) {
        EXPECT_EQ(merged.results[i].left, static_cast<int32_t>(3 + i));
    }

    const struct {
        std::vector<SurveyFile> shards;
        const char* message;
    } bad[] = {
        {{shard_of(3, 4, 8), shard_of(7, 2, 16)}, "b surveys other deals or limits than a"},
        {{shard_of(3, 4, 8), shard_of(6, 2, 8)}, "a and b overlap: both have seed 6"},
        {{shard_of(3, 4, 8), shard_of(3, 4, 8)}, "a and b overlap: both have seed 3"},
        {{shard_of(9, 1, 8), shard_of(3, 4, 8)}, "no file has seeds 7 to 8"},
        {{shard_of(0, INT32_MAX, 8), shard_of(INT32_MAX, 1, 8)},
         "the shards hold more than 2147483647"},
    };
    for (const auto& run : bad) {
        failure.clear();
        EXPECT_FALSE(merge_surveys(run.shards, {"a", "b"}, merged, failure)) << run.message;
        EXPECT_EQ(failure.rfind(run.message, 0), 0u) << failure;
    }
}

}  // namespace
