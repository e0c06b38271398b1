// Every stored input of the fuzz corpus (the seeds and the inputs of past
// findings) run through its target's entry function: a finding that comes
// back aborts this test.
#include "tests/fuzz/fuzz_targets.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace zol::fuzz {

// The target's name in the test's messages.
void PrintTo(const Target& target, std::ostream* os)
{
    *os << target.name;
}

namespace {

class FuzzCorpus : public ::testing::TestWithParam<Target> {};

TEST_P(FuzzCorpus, EveryStoredInputPasses)
{
    const Target& target = GetParam();
    const QDir folder(QStringLiteral(ZOL_FUZZ_CORPUS "/") + QString::fromLatin1(target.name));
    const QStringList names = folder.entryList(QDir::Files, QDir::Name);
    ASSERT_FALSE(names.isEmpty()) << "no corpus in " << folder.path().toStdString();
    for (const QString& name : names) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        const QByteArray bytes = file.readAll();
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(target.entry(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                               static_cast<std::size_t>(bytes.size())),
                  0);
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzCorpus, ::testing::ValuesIn(Targets()),
                         [](const ::testing::TestParamInfo<Target>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zol::fuzz
