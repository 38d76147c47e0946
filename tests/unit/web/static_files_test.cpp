// Static files: the MIME table and the rule that only the image folder is served.

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"
#include "web/static_files.h"

namespace zk {
namespace {

TEST(WebMimeType, Cases) {
    struct Case {
        const char* path;
        const char* type;
    } cases[] = {
        {"/p/image/style.css", "text/css"},
        {"/p/image/a.CSS", "application/octet-stream"},  // compared case-sensitively
        {"/p/image/port.js", "text/javascript"},
        {"/p/image/logo.gif", "image/gif"},
        {"/p/image/x.jpe", "image/jpeg"},
        {"/p/image/favicon.ico", "image/bitmap"},
        {"/p/image/archive.tar.gz", "application/x-compressed"},
        {"/p/image/a.z", "application/x-compress"},
        {"/p/image/page.shtml", "text/html"},
        {"/p/image/movie.mov", "video/quicktime"},
        {"/p/image/README", "text/plain"},
        {"/p.d/image/README", "text/plain"},  // a dot in a folder name is no extension
        {"/p/image/file.unknown", "application/octet-stream"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(web_mime_type(c.path), c.type) << c.path;
}

TEST(StaticFilePath, OnlyInsideTheImageFolder) {
    test::TempDir home;
    std::filesystem::create_directories(home.dir() + "image/sub");
    test::write_file(home.file("image/style.css"), "body{}");
    test::write_file(home.file("config.xml"), "<mappings/>");
    std::filesystem::create_symlink(home.file("config.xml"), home.file("image/leak.css"));

    struct Case {
        const char* target;
        bool served;
    } cases[] = {
        {"/image/style.css", true},
        {"/image/sub/missing.png", true},  // inside: the file action finds nothing to send
        {"/image/../config.xml", false},
        {"/image/sub/../style.css", false},  // no ".." at all
        {"/config.xml?image", false},
        {"/myimage.css", false},
        {"/image", false},
        {"/image/", false},
        {"/image/leak.css", false},  // a link out of the folder
        {"http://host/image/style.css", false},
    };
    for (const Case& c : cases) {
        const auto path = static_file_path(home.dir(), c.target);
        EXPECT_EQ(path.has_value(), c.served) << c.target;
        if (path) {
            EXPECT_EQ(*path, home.dir() + c.target);
        }
    }
}

TEST(StaticFilePath, NoImageFolderServesNothing) {
    test::TempDir home;
    EXPECT_FALSE(static_file_path(home.dir(), "/image/style.css").has_value());
}

}  // namespace
}  // namespace zk
