#include <gtest/gtest.h>

#include <cerrno>

#include "runtime/plugindynamicloadedlibrary.h"
#include "testsupport.h"

TEST(PlugInDynamicLoadedLibrary, NothingIsLoadedByTheConstructor) {
    PlugInDynamicLoadedLibrary library("libm.so.6", true);
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_EQ(library.GetPath(), "libm.so.6");
    EXPECT_TRUE(library.GetErrorString().empty());
}

TEST(PlugInDynamicLoadedLibrary, MissingFileGivesNoSuchFile) {
    PlugInDynamicLoadedLibrary library("/nonexistent-dir/libnothing.so");
    EXPECT_EQ(library.LoadLibraryNow(), ENOENT);
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_FALSE(library.GetErrorString().empty());

    PlugInDynamicLoadedLibrary searched("libnothing-by-this-name.so");
    EXPECT_EQ(searched.LoadLibraryNow(), ENOENT);

    PlugInDynamicLoadedLibrary empty("");
    EXPECT_EQ(empty.LoadLibraryNow(), ENOENT);
    EXPECT_FALSE(empty.IsLoaded());
}

TEST(PlugInDynamicLoadedLibrary, FileThatIsNoLibraryGivesBadLibraryWithText) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir.file("libfake.so"), "this is plain text, not a shared object\n");
    PlugInDynamicLoadedLibrary library(dir.file("libfake.so"));
    EXPECT_EQ(library.LoadLibraryNow(), ELIBBAD);
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_FALSE(library.GetErrorString().empty());
}

TEST(PlugInDynamicLoadedLibrary, SystemLibraryLoadsOnDemandAndResolvesASymbol) {
    PlugInDynamicLoadedLibrary library("libm.so.6");
    void* address = library.GetSymbolAddress("cos");
    ASSERT_NE(address, nullptr) << library.GetErrorString();
    EXPECT_TRUE(library.IsLoaded());
    EXPECT_TRUE(library.GetErrorString().empty());
    auto cosine = reinterpret_cast<double (*)(double)>(address);
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
    EXPECT_EQ(library.LoadLibraryNow(), 0);
}

TEST(PlugInDynamicLoadedLibrary, MissingSymbolGivesNullAndTextAndAFoundOneClearsIt) {
    PlugInDynamicLoadedLibrary library("libm.so.6");
    ASSERT_EQ(library.LoadLibraryNow(), 0);
    EXPECT_EQ(library.GetSymbolAddress("no_such_symbol_here"), nullptr);
    EXPECT_NE(library.GetErrorString().find("no_such_symbol_here"), std::string::npos)
        << library.GetErrorString();
    EXPECT_TRUE(library.IsLoaded());
    EXPECT_NE(library.GetSymbolAddress("sin"), nullptr);
    EXPECT_TRUE(library.GetErrorString().empty());
}

TEST(PlugInDynamicLoadedLibrary, SymbolOfALibraryThatCannotLoadIsNull) {
    PlugInDynamicLoadedLibrary library("/nonexistent-dir/libnothing.so");
    EXPECT_EQ(library.GetSymbolAddress("cos"), nullptr);
    EXPECT_FALSE(library.GetErrorString().empty());
}

TEST(PlugInDecorateDynamicPathName, AppendsTheEndingOnlyToANameWithoutExtension) {
    EXPECT_EQ(PlugInDecorateDynamicPathName("abc"), "abc.so");
    EXPECT_EQ(PlugInDecorateDynamicPathName("/opt/vexa/lib/libpy"), "/opt/vexa/lib/libpy.so");
    EXPECT_EQ(PlugInDecorateDynamicPathName("x.so"), "x.so");
    EXPECT_EQ(PlugInDecorateDynamicPathName("a.b"), "a.b");
    EXPECT_EQ(PlugInDecorateDynamicPathName("libm.so.6"), "libm.so.6");
    // A dot in a directory name is no extension of the file.
    EXPECT_EQ(PlugInDecorateDynamicPathName("/opt/v1.2/libx"), "/opt/v1.2/libx.so");
    EXPECT_EQ(PlugInDecorateDynamicPathName("/opt/.hidden"), "/opt/.hidden.so");
    EXPECT_EQ(PlugInDecorateDynamicPathName(""), "");
}
