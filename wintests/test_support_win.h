// What the Windows test host's tests share: a fixture over the loaded
// plug-in module, plug-in objects and stand-in models that release
// themselves, and temporary folders.
#ifndef MDLEXPORT_WINTESTS_TEST_SUPPORT_WIN_H
#define MDLEXPORT_WINTESTS_TEST_SUPPORT_WIN_H

#include "member_call_win.h"
#include "plugin_module_win.h"
#include "stand_in_model.h"
#include "test_fixtures.h"

#include <gtest/gtest.h>
#include <string>

// A test of mdlexport.dll: stops at once when the module cannot be loaded or
// its imports cannot be replaced; otherwise starts with fresh doubles, the
// dialog answering with a cancel.
class PlugInModuleTest : public ::testing::Test
{
  protected:
    void SetUp() override;

    // Calls the module's export CreatePlugIn.
    void* Create() const;

  private:
    void* (*create_)() = nullptr;
};

// A plug-in object that is destroyed (flag 1) when it goes out of scope,
// unless a test released it itself.
class HostObject
{
  public:
    explicit HostObject(void* object) : object_(object) {}
    ~HostObject()
    {
        if (object_ != nullptr)
            CallDestroy(object_, 1);
    }
    HostObject(const HostObject&) = delete;
    HostObject& operator=(const HostObject&) = delete;

    void* get() const
    {
        return object_;
    }
    void* release()
    {
        void* object = object_;
        object_ = nullptr;
        return object;
    }

  private:
    void* object_;
};

// A fresh folder under the Windows temporary folder, removed with the files
// in it.
class TempFolder
{
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const
    {
        return path_;
    }
    std::string Path(const std::string& name) const
    {
        return path_ + "\\" + name;
    }
    // The names of the entries in the folder, sorted, "." and ".." left out.
    std::string Listing() const;

  private:
    std::string path_;
};

// The whole content of a file, and whether it could be read.
bool ReadWholeFile(const std::string& path, std::string& bytes);

// Where two byte strings first differ, with the lines around it, for a
// failure message.
std::string DescribeDifference(const std::string& expected, const std::string& actual);

#endif
