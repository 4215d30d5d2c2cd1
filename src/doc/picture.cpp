#include "doc/picture.h"

const std::shared_ptr<const Picture>& WhitePicture() {
  static const std::shared_ptr<const Picture> white = Cow<Picture>::MakeShared(Picture{});
  return white;
}

Cow<Picture> SharedWhitePicture() { return Cow<Picture>::Share(WhitePicture()); }
