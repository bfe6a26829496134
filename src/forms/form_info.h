// TForm_Info, the About window: the program's name, its version and a
// copyright line over a picture. It only displays; the operator closes it
// with the title bar's close box.
#pragma once

#include <string>
#include <vector>

#include "forms/controls/controls.h"
#include "forms/controls/layout.h"
#include "forms/controls/modal_form.h"
#include "forms/jpeg_image.h"

namespace velimo::forms {

// Where a control of the About window sits, in client pixels. A width or
// height of 0 means the label sizes itself to its caption.
struct Placement {
  Control* control;
  int left;
  int top;
  int width;
  int height;
  int font_px;  // text height in pixels; 0 for the picture
  bool bold;
};

class TForm_Info : public TModalForm {
 public:
  static constexpr int kPictureWidth = 349;
  static constexpr int kPictureHeight = 129;

  // versionLabel is the main window's hidden version label Lb_PGVersion,
  // whose caption the main window's creation handler has set already.
  // picturePath names the shipped JPEG; an empty path or a file that cannot
  // be decoded leaves the picture empty and the window still usable.
  TForm_Info(const TLabel& versionLabel, std::string picturePath);

  TImage Image1{"Image1"};
  TLabel LbInfo{"LbInfo"};
  TLabel LB_APPVer{"LB_APPVer"};
  TLabel Label1{"Label1"};

  // The picture as decoded at creation (empty after a failure), with the
  // reason it could not be read.
  const RgbImage& Picture() const { return picture_; }
  bool PictureLoaded() const { return !picture_.Empty(); }
  const std::string& PictureError() const { return picture_error_; }
  const std::string& PicturePath() const { return picture_path_; }

  // Picture first: the labels are placed after it and drawn on top of it.
  const LayoutNode& Layout() const { return layout_; }
  const std::vector<Placement>& Placements() const { return placements_; }

 private:
  void FormCreate(const TLabel& versionLabel);

  std::string picture_path_;
  RgbImage picture_;
  std::string picture_error_;
  LayoutNode layout_;
  std::vector<Placement> placements_;
};

// The places the About picture is looked for, beside the running program:
// "<dir>/velimo_about.jpg", "<dir>/assets/velimo_about.jpg" and
// "<dir>/../share/velimo/velimo_about.jpg". Returns the first that exists,
// or the first candidate when none does (the window then shows no picture).
std::string FindAboutPicture();

}  // namespace velimo::forms
