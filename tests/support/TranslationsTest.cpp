// Every text of the program has a finished English translation: the linguist tool gathers the texts
// of src/ into a copy of the committed module source, and any text without one fails the test.
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <QFile>
#include <QXmlStreamReader>
#include <string>

#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

struct TMessage {
    std::string Context, Source;
    bool Finished = false;
};

std::vector<TMessage> ReadMessages(const std::string& path) {
    QFile file(QString::fromStdString(path));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path;
    QXmlStreamReader xml(&file);
    std::vector<TMessage> messages;
    std::string context;
    TMessage message;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) continue;
        if (xml.name() == u"name")
            context = xml.readElementText().toStdString();
        else if (xml.name() == u"message")
            message = {context, "", false};
        else if (xml.name() == u"source")
            message.Source = xml.readElementText().toStdString();
        else if (xml.name() == u"translation") {
            const auto type = xml.attributes().value("type");
            const bool finished = type.isEmpty();
            const std::string text = xml.readElementText().toStdString();
            message.Finished = finished && !text.empty();
            messages.push_back(message);
        }
    }
    EXPECT_FALSE(xml.hasError()) << path << ": " << xml.errorString().toStdString();
    return messages;
}

class TranslationsTest : public SandboxTest {};

TEST_F(TranslationsTest, EverySourceTextHasAFinishedEnglishTranslation) {
    const std::string copy = Root() + "orvanel_en.ts";
    fs::copy_file(ORVANEL_TS, copy);
    const std::string command = std::string("'") + LUPDATE + "' " + LUPDATE_OPTIONS + " '" + SOURCE_DIR +
                                "/src' -ts '" + copy + "' > '" + Root() + "lupdate.txt' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << ReadWholeFile(Root() + "lupdate.txt");

    const std::vector<TMessage> messages = ReadMessages(copy);
    ASSERT_GT(messages.size(), 100u) << "the linguist tool found too few texts";
    std::string untranslated;
    for (const TMessage& m : messages)
        if (!m.Finished) untranslated += "  [" + m.Context + "] \"" + m.Source + "\"\n";
    EXPECT_TRUE(untranslated.empty())
        << "Texts without a finished English translation (run `make translations`, then translate them "
           "in resources/translations/orvanel_en.ts):\n"
        << untranslated;
}

} // namespace
