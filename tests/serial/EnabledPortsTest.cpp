#include "SetEnabledCOM.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class Recorder : public IOperatorMessages {
public:
    explicit Recorder(std::vector<std::string>& into) : into_(into) {}
    void ShowMessage(const std::string& text) override { into_.push_back(text); }

private:
    std::vector<std::string>& into_;
};

class EnabledPorts : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::string path = (dir.path() + "/Data/PortList.xml").toStdString();
    std::vector<std::string> reports;
    Recorder recorder{reports};
    void WriteFile(const std::string& text) {
        QDir().mkpath(dir.path() + "/Data");
        QFile f(QString::fromStdString(path));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.data(), static_cast<qint64>(text.size()));
    }
    std::string ReadFile() {
        QFile f(QString::fromStdString(path));
        if (!f.open(QIODevice::ReadOnly)) return "(missing)";
        return f.readAll().toStdString();
    }
    static std::string Marks(const TEnCOMList& list) {
        std::string out;
        for (int i = 0; i < list.Count(); ++i)
            out += list.Name(i) + "=" + std::to_string(list.Mark(i)) + " ";
        return out;
    }
};

const char* kDefaults = "COM1=0 COM2=0 COM3=0 COM4=0 COM5=0 COM6=0 COM7=0 COM8=0 COM9=0 "
                        "COM10=0 COM11=0 COM12=0 COM13=0 COM14=0 COM15=0 ";

} // namespace

TEST_F(EnabledPorts, ReadingFollowsTheChildrenByNumber) {
    struct Case {
        const char* what;
        const char* xml;
        std::string marks;
    } cases[] = {
        {"empty root", "<PORTLIST/>", kDefaults},
        {"in order",
         "<PORTLIST><COM1 Type=\"boolean\" Value=\"1\"/><COM2 Type=\"boolean\" "
         "Value=\"0\"/></PORTLIST>",
         "COM1=1 COM2=0 "},
        {"a gap ends the names that can be found",
         "<PORTLIST><COM1 Value=\"1\"/><COM2 Value=\"1\"/><COM5 Value=\"1\"/></PORTLIST>",
         "COM1=1 COM2=1 "},
        {"no attributes reads off", "<PORTLIST><COM1/><COM2 Value=\"1\"/></PORTLIST>",
         "COM1=0 COM2=1 "},
        {"whitespace between elements",
         "<?xml version=\"1.0\"?>\n<PORTLIST>\n  <COM2 "
         "Value=\"1\"/>\n  <COM1 Value=\"1\"/>\n</PORTLIST>\n",
         "COM1=1 COM2=1 "},
    };
    for (const auto& c : cases) {
        WriteFile(c.xml);
        TEnCOMList list(path, &recorder);
        EXPECT_EQ(Marks(list), c.marks) << c.what;
        EXPECT_FALSE(list.Modified);
    }
    EXPECT_TRUE(reports.empty());
}

TEST_F(EnabledPorts, MissingFileGivesAnEmptyListAndNoFile) {
    {
        TEnCOMList list(path, &recorder);
        EXPECT_EQ(list.Count(), 0);
    }
    EXPECT_EQ(ReadFile(), "(missing)");
}

TEST_F(EnabledPorts, WriteFormNamesChildrenByPosition) {
    {
        TEnCOMList list(path);
        list.Add("COM1", 1);
        list.Add("COM7", 0);
        list.Modified = true;
    }
    EXPECT_EQ(ReadFile(), "<?xml version=\"1.0\" encoding=\"utf-8\"?><PORTLIST><COM1 "
                          "Type=\"boolean\" Value=\"1\"/><COM2 Type=\"boolean\" "
                          "Value=\"0\"/></PORTLIST>\n");
    TEnCOMList back(path);
    EXPECT_EQ(Marks(back), "COM1=1 COM2=0 ");
}

TEST_F(EnabledPorts, AToggleWithoutChangeStillWritesTheMarksAtTheEnd) {
    WriteFile("<PORTLIST><COM1 Value=\"1\"/><COM2   Value=\"0\" /></PORTLIST>");
    {
        TEnCOMList list(path);
        list.SetMark(1, 1);
        list.SetMark(1, 0); // a mark set by the program alone is not written
        list.Modified = true;
    }
    EXPECT_NE(ReadFile().find("<COM1 Type=\"boolean\" Value=\"1\"/><COM2 Type=\"boolean\" "
                              "Value=\"0\"/>"),
              std::string::npos);
}

TEST_F(EnabledPorts, BadFilesAreReportedReadAsFarAsPossibleAndKept) {
    const std::string broken = "<PORTLIST><COM1 Value=\"1\"><COM2";
    WriteFile(broken);
    {
        TEnCOMList list(path, &recorder);
        EXPECT_EQ(list.Count(), 0);
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_NE(reports[0].find("not a port list"), std::string::npos) << reports[0];
    }
    EXPECT_EQ(ReadFile(), broken) << "an unreadable file is not overwritten unasked";

    reports.clear();
    const std::string badMark = "<PORTLIST><COM1 Value=\"yes\"/><COM2 Value=\"1\"/></PORTLIST>";
    WriteFile(badMark);
    {
        TEnCOMList list(path, &recorder);
        EXPECT_EQ(Marks(list), "COM1=0 COM2=1 ");
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_NE(reports[0].find("COM1"), std::string::npos);
        EXPECT_NE(reports[0].find("\"yes\""), std::string::npos);
    }
    EXPECT_EQ(ReadFile(), badMark);
}

TEST_F(EnabledPorts, WriteFailureIsReported) {
    WriteFile("<PORTLIST/>");
    TEnCOMList list((dir.path() + "/Data/PortList.xml/inside").toStdString(), &recorder);
    list.Add("COM1", 1);
    EXPECT_FALSE(list.SaveToFile());
    EXPECT_EQ(reports.size(), 1u);
}
