#include "forms/form_info.h"

#include <filesystem>
#include <system_error>

namespace velimo::forms {

namespace {

const FormFrame kInfoFrame{
    "Form_Info",
    "About",
    426,
    150,
    /*minimize_button=*/true,
    /*center_on_owner=*/false,
    /*background_rgb=*/0xFFFFFF,
};

}  // namespace

TForm_Info::TForm_Info(const TLabel& versionLabel, std::string picturePath)
    : TModalForm(kInfoFrame), picture_path_(std::move(picturePath)) {
  LbInfo.SetCaption("Velimo");
  // The stored definition's text; the creation handler replaces it.
  LB_APPVer.SetCaption("ver 1.0.0");
  Label1.SetCaption("Copyright (C) Velimo developers. All rights reserved.");

  using namespace layout;
  layout_ = Column({Ctl(Image1), Ctl(LbInfo), Ctl(LB_APPVer), Ctl(Label1)});
  AssignParents(layout_);
  placements_ = {
      {&Image1, 76, 0, kPictureWidth, kPictureHeight, 0, false},
      {&LbInfo, 4, 25, 0, 0, 16, true},
      {&LB_APPVer, 15, 46, 0, 0, 13, false},
      {&Label1, 38, 132, 0, 0, 12, false},
  };

  if (picture_path_.empty()) {
    picture_error_ = "no About picture was found beside the program";
  } else {
    JpegDecodeResult decoded = DecodeJpegFile(picture_path_);
    if (decoded.ok) {
      picture_ = std::move(decoded.image);
    } else {
      picture_error_ = std::move(decoded.error);
    }
  }

  FormCreate(versionLabel);
}

void TForm_Info::FormCreate(const TLabel& versionLabel) {
  LB_APPVer.SetCaption(versionLabel.Caption());
}

std::string FindAboutPicture() {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  fs::path dir = ec ? fs::current_path(ec) : exe.parent_path();
  const fs::path candidates[] = {
      dir / "velimo_about.jpg",
      dir / "assets" / "velimo_about.jpg",
      dir / ".." / "share" / "velimo" / "velimo_about.jpg",
  };
  for (const auto& c : candidates) {
    if (fs::is_regular_file(c, ec)) return c.string();
  }
  return candidates[0].string();
}

}  // namespace velimo::forms
