#include "tests/support/WorkFolder.h"

#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <iostream>
#include <map>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

// Each test's folder, and each suite's (made in its set-up), by the
// GoogleTest object that owns it.
std::map<const void*, fs::path>& Folders()
{
    static std::map<const void*, fs::path> folders;
    return folders;
}

// Removes a test's or a suite's folder when it has passed (or skipped),
// keeps it and says where when it has failed.
class FolderCleaner : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo& test) override
    {
        Done(&test, test.result()->Failed(), std::string(test.test_suite_name()) + "." + test.name());
    }
    void OnTestSuiteEnd(const ::testing::TestSuite& suite) override
    {
        Done(&suite, suite.Failed(), std::string(suite.name()) + " (its set-up)");
    }

    static void Done(const void* owner, bool failed, const std::string& what)
    {
        const auto it = Folders().find(owner);
        if (it == Folders().end()) {
            return;
        }
        if (failed) {
            std::cout << "kept the files of " << what << " in " << it->second.string() << std::endl;
        } else {
            std::error_code ignored;
            fs::remove_all(it->second, ignored);
        }
        Folders().erase(it);
    }
};

fs::path OwnFolder()
{
    auto* unit = ::testing::UnitTest::GetInstance();
    const void* owner = unit->current_test_info();
    if (owner == nullptr) {
        owner = unit->current_test_suite();
    }
    if (owner == nullptr) {
        throw std::logic_error("FreshFolder is for a test or a suite's set-up");
    }
    auto [it, made] = Folders().try_emplace(owner);
    if (made) {
        static const bool listening = [unit] {
            unit->listeners().Append(new FolderCleaner); // owned by GoogleTest
            return true;
        }();
        (void)listening;
        it->second = fs::path(KESTREL_TEST_WORK) / (CurrentTestName() + "." + std::to_string(::getpid()));
        // Left by an earlier program that had this process id, if any.
        fs::remove_all(it->second);
    }
    return it->second;
}

} // namespace

fs::path FreshFolder(const std::string& name)
{
    const fs::path folder = name.empty() ? OwnFolder() : OwnFolder() / name;
    // Only this process's folders are ever emptied: another test program's
    // have another process id in their name.
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}
