// The About window: its version text, its frame, and the picture decoded
// from a JPEG file made here with libjpeg's own encoder.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

#include "forms/form_info.h"
#include "forms/jpeg_image.h"

namespace velimo::forms {
namespace {

namespace fs = std::filesystem;

// Encodes a width x height picture whose left half is pure red and right
// half pure blue (or grey levels when components is 1).
std::vector<unsigned char> EncodeJpeg(int width, int height, int components = 3) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = components;
  cinfo.in_color_space = components == 3 ? JCS_RGB : JCS_GRAYSCALE;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 95, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<unsigned char> row(static_cast<size_t>(width * components));
  for (int x = 0; x < width; ++x) {
    unsigned char* px = &row[static_cast<size_t>(x * components)];
    if (components == 3) {
      px[0] = x < width / 2 ? 255 : 0;
      px[1] = 0;
      px[2] = x < width / 2 ? 0 : 255;
    } else {
      px[0] = x < width / 2 ? 40 : 220;
    }
  }
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&cinfo, &r, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<unsigned char> out(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  free(buffer);
  return out;
}

class AboutWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("velimo_info_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    version_.SetCaption("Version 1.0.1");
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Write(const std::string& name, const std::vector<unsigned char>& bytes) {
    const fs::path p = dir_ / name;
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return p.string();
  }

  fs::path dir_;
  TLabel version_{"Lb_PGVersion"};
};

TEST_F(AboutWindowTest, CopiesTheMainWindowsVersionTextAtCreation) {
  TForm_Info info(version_, Write("about.jpg", EncodeJpeg(349, 129)));
  EXPECT_EQ(info.LB_APPVer.Caption(), "Version 1.0.1");
  EXPECT_EQ(info.LbInfo.Caption(), "Velimo");
  // Copied once: a later change of the main window's label does not follow.
  version_.SetCaption("Version 9");
  EXPECT_EQ(info.LB_APPVer.Caption(), "Version 1.0.1");
}

TEST_F(AboutWindowTest, RepeatedShowingsUseTheSameWindowWithItsVersionText) {
  TForm_Info info(version_, "");
  for (int i = 1; i <= 3; ++i) {
    info.ShowModal();
    EXPECT_TRUE(info.Showing());
    EXPECT_EQ(info.LB_APPVer.Caption(), "Version 1.0.1");
    info.Close();
    EXPECT_FALSE(info.Showing());
    EXPECT_EQ(info.ShowCount(), i);
  }
}

TEST_F(AboutWindowTest, FrameAndPlacementsFollowTheWindowDefinition) {
  TForm_Info info(version_, "");
  EXPECT_STREQ(info.Frame().caption, "About");
  EXPECT_EQ(info.Frame().client_width, 426);
  EXPECT_EQ(info.Frame().client_height, 150);
  EXPECT_TRUE(info.Frame().minimize_button);
  EXPECT_FALSE(info.Frame().center_on_owner);
  EXPECT_EQ(info.Frame().background_rgb, 0xFFFFFFu);

  struct Row {
    const Control* control;
    int left, top, width, height, font_px;
    bool bold;
  };
  const Row expected[] = {
      {&info.Image1, 76, 0, 349, 129, 0, false},
      {&info.LbInfo, 4, 25, 0, 0, 16, true},
      {&info.LB_APPVer, 15, 46, 0, 0, 13, false},
      {&info.Label1, 38, 132, 0, 0, 12, false},
  };
  ASSERT_EQ(info.Placements().size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    const Placement& p = info.Placements()[i];
    SCOPED_TRACE(expected[i].control->Name());
    EXPECT_EQ(p.control, expected[i].control);
    EXPECT_EQ(p.left, expected[i].left);
    EXPECT_EQ(p.top, expected[i].top);
    EXPECT_EQ(p.width, expected[i].width);
    EXPECT_EQ(p.height, expected[i].height);
    EXPECT_EQ(p.font_px, expected[i].font_px);
    EXPECT_EQ(p.bold, expected[i].bold);
  }
  // The picture comes first so the labels are drawn over it.
  const auto controls = ControlsOf(info.Layout());
  ASSERT_EQ(controls.size(), 4u);
  EXPECT_EQ(controls[0], &info.Image1);
  EXPECT_FALSE(info.Label1.Caption().empty());
}

TEST_F(AboutWindowTest, DecodesThePictureTo349By129Rgb) {
  TForm_Info info(version_, Write("about.jpg", EncodeJpeg(349, 129)));
  ASSERT_TRUE(info.PictureLoaded()) << info.PictureError();
  const RgbImage& img = info.Picture();
  EXPECT_EQ(img.width, 349);
  EXPECT_EQ(img.height, 129);
  ASSERT_EQ(img.pixels.size(), 349u * 129u * 3u);
  auto at = [&](int x, int y, int c) {
    return static_cast<int>(img.pixels[(static_cast<size_t>(y) * 349 + x) * 3 + c]);
  };
  // Left half red, right half blue, allowing for the lossy coding.
  EXPECT_GT(at(20, 64, 0), 200);
  EXPECT_LT(at(20, 64, 2), 60);
  EXPECT_LT(at(320, 64, 0), 60);
  EXPECT_GT(at(320, 64, 2), 200);
  EXPECT_TRUE(info.PictureError().empty());
}

TEST_F(AboutWindowTest, GreyPictureIsExpandedToRgb) {
  const auto bytes = EncodeJpeg(64, 16, 1);
  const JpegDecodeResult r = DecodeJpeg(bytes.data(), bytes.size());
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.image.pixels.size(), 64u * 16u * 3u);
  const size_t i = (8 * 64 + 50) * 3;
  EXPECT_EQ(r.image.pixels[i], r.image.pixels[i + 1]);
  EXPECT_EQ(r.image.pixels[i], r.image.pixels[i + 2]);
  EXPECT_NEAR(r.image.pixels[i], 220, 12);
}

TEST_F(AboutWindowTest, UnreadablePicturesLeaveTheWindowUsableWithAReason) {
  const auto good = EncodeJpeg(349, 129);
  std::vector<unsigned char> truncated(good.begin(), good.begin() + good.size() / 2);
  std::vector<unsigned char> garbage(500, 0x5A);
  std::vector<unsigned char> damaged = good;
  for (size_t i = good.size() / 2; i < good.size() / 2 + 40; ++i) damaged[i] = 0xFF;

  struct Case {
    const char* name;
    std::string path;
  };
  const Case cases[] = {
      {"missing", (dir_ / "no_such.jpg").string()},
      {"empty", Write("empty.jpg", {})},
      {"garbage", Write("garbage.jpg", garbage)},
      {"truncated", Write("truncated.jpg", truncated)},
      {"damaged", Write("damaged.jpg", damaged)},
      {"directory", dir_.string()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TForm_Info info(version_, c.path);
    EXPECT_FALSE(info.PictureLoaded());
    EXPECT_TRUE(info.Picture().pixels.empty());
    EXPECT_NE(info.PictureError().find(c.path), std::string::npos) << info.PictureError();
    EXPECT_EQ(info.LB_APPVer.Caption(), "Version 1.0.1");
    info.ShowModal();
    EXPECT_TRUE(info.Showing());
  }
}

TEST_F(AboutWindowTest, NoPicturePathGivesAReasonToo) {
  TForm_Info info(version_, "");
  EXPECT_FALSE(info.PictureLoaded());
  EXPECT_FALSE(info.PictureError().empty());
}

}  // namespace
}  // namespace velimo::forms
