#include <gtest/gtest.h>

#include "service/encoders/KPathParts.h"

namespace {

struct PathCase {
    std::u16string path, root, dir, name, ext;
};

TEST(PathParts, SplitsIntoFourPartsThatRebuildThePath) {
    const PathCase cases[] = {
        {u"/music/Song.mp3", u"", u"/music/", u"Song", u".mp3"},
        {u"/Song", u"", u"/", u"Song", u""},
        {u"/my.dir/file", u"", u"/my.dir/", u"file", u""},        // the last dot is in the folder
        {u"/Out/Mr. Jones", u"", u"/Out/", u"Mr", u". Jones"},
        {u"/Out/.mp3", u"", u"/Out/", u".mp3", u""},              // a leading dot starts no extension
        {u"/Out/", u"", u"/Out/", u"", u""},
        {u"Song.mp3", u"Song.mp3", u"", u"", u""},                // no separator: all root
        {u"music/a.b.ogg", u"music", u"/", u"a.b", u".ogg"},
        {u"//server/share/x.wma", u"", u"//server/share/", u"x", u".wma"},
        {u"/a/b.", u"", u"/a/", u"b", u"."},
    };
    for (const auto& c : cases) {
        KPathParts parts;
        EXPECT_TRUE(parts.Parse(c.path));
        SCOPED_TRACE(std::string(c.path.begin(), c.path.end()));
        EXPECT_EQ(parts.GetRoot(), c.root);
        EXPECT_EQ(parts.GetDir(), c.dir);
        EXPECT_EQ(parts.GetName(), c.name);
        EXPECT_EQ(parts.GetExtension(), c.ext);
        EXPECT_EQ(parts.GetRoot() + parts.GetDir() + parts.GetName() + parts.GetExtension(), c.path);
    }
}

TEST(PathParts, EmptyPathGivesNoParts) {
    KPathParts parts(u"/x/y.z");
    EXPECT_FALSE(parts.Parse(u""));
    EXPECT_EQ(parts.GetRoot() + parts.GetDir() + parts.GetName() + parts.GetExtension(), u"");
}

}  // namespace
