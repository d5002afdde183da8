// The element stream of a saved realistic tree, byte for byte: a change to how the bytes
// travel must not change one of them.
#include <cstdint>
#include <cstdio>

#include "document_support.h"
#include "realistic_tree.h"

using namespace doc_test;

namespace {

const wchar_t kElements[] = L"Element Stream";

// 64-bit FNV-1a.
std::uint64_t Fingerprint(const std::vector<unsigned char>& bytes)
{
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char b : bytes) {
        h ^= b;
        h *= 0x100000001b3ull;
    }
    return h;
}

std::string Hex(std::uint64_t v)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%016llx", static_cast<unsigned long long>(v));
    return text;
}

class SavedBytes : public FileTest {
protected:
    void TearDown() override
    {
        FileTest::TearDown();
        if (m_live == 0) {
            EXPECT_EQ(PlenvortDllCanUnloadNow(), S_OK);
        }
    }
};

// Pinned once the features and the measurement operations wrote their own blocks (the
// buffered stream wrote the same bytes as the unbuffered one before that); larger than one
// buffer, with properties whose count is filled in after them, references forward and back,
// and a group.
constexpr int kTreeNodes = 600;
constexpr size_t kExpectedSize = 429837;
constexpr std::uint64_t kExpectedFingerprint = 0x860c87fe70be5973ull;

} // namespace

TEST_F(SavedBytes, ARealisticTreeIsWrittenAsBefore)
{
    IAPDocument6* doc = NewDocument();
    ASSERT_NE(doc, nullptr);
    {
        realistic_tree::Builder builder(doc);
        ASSERT_TRUE(builder.Build(kTreeNodes));
        EXPECT_GE(builder.Nodes(), kTreeNodes - 8);
    }
    const std::string path = File("bytes");
    ASSERT_EQ(doc->Save(Text(path.c_str())), S_OK);
    doc->Release();

    std::vector<unsigned char> bytes;
    ASSERT_TRUE(FileStream(path, kElements, &bytes));
    EXPECT_GT(bytes.size(), 3u * 65536u);
    EXPECT_EQ(bytes.size(), kExpectedSize);
    EXPECT_EQ(Hex(Fingerprint(bytes)), Hex(kExpectedFingerprint));

    // Read back and written again, the tree gives the same bytes.
    IAPDocument6* reader = NewDocument();
    ASSERT_EQ(reader->OpenDocument(Text(path.c_str())), S_OK);
    ASSERT_EQ(reader->SetProcessName(Text("Line 4")), S_OK);
    const std::string again = File("bytes_again");
    ASSERT_EQ(reader->Save(Text(again.c_str())), S_OK);
    reader->Release();
    std::vector<unsigned char> second;
    ASSERT_TRUE(FileStream(again, kElements, &second));
    EXPECT_TRUE(second == bytes) << "the tree read back was written differently";
}
