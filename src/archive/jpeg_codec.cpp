#include "archive/jpeg_codec.h"

// clang-format off
#include <cstdio>   // jpeglib.h needs FILE and size_t first
#include <csetjmp>
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include <cstring>

namespace {

// ---- error trapping ---------------------------------------------------------------
// The fatal-error exit destroys the codec object and jumps back into the helper, which
// then fails the call. Warnings and traces keep the library's own (silent) handling.
struct TrapError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void TrapErrorExit(j_common_ptr codec) {
  auto* trap = reinterpret_cast<TrapError*>(codec->err);
  jpeg_destroy(codec);
  std::longjmp(trap->jump, 1);
}

void SilentOutputMessage(j_common_ptr) {}

void SetUpTrap(TrapError& trap) {
  jpeg_std_error(&trap.manager);
  trap.manager.error_exit = TrapErrorExit;
  // Warnings of damaged data would go to stderr by default; nothing reaches the user.
  trap.manager.output_message = SilentOutputMessage;
}

// ---- memory source --------------------------------------------------------------------
// The whole caller buffer is offered at once. Asking for more than there is, or skipping
// past the end, yields an end-of-image marker of our own so the codec stops cleanly
// (with a warning) and nothing outside the buffer is ever read.
const JOCTET kFakeEndOfImage[2] = {0xFF, JPEG_EOI};

void SourceNothing(j_decompress_ptr) {}

boolean SourceFill(j_decompress_ptr codec) {
  WARNMS(codec, JWRN_JPEG_EOF);
  codec->src->next_input_byte = kFakeEndOfImage;
  codec->src->bytes_in_buffer = sizeof kFakeEndOfImage;
  return TRUE;
}

void SourceSkip(j_decompress_ptr codec, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* source = codec->src;
  if (static_cast<unsigned long>(count) > source->bytes_in_buffer) {
    SourceFill(codec);
    return;
  }
  source->next_input_byte += count;
  source->bytes_in_buffer -= static_cast<std::size_t>(count);
}

void AttachMemorySource(j_decompress_ptr codec, const std::uint8_t* data, std::size_t length) {
  auto* source = static_cast<jpeg_source_mgr*>(
      (*codec->mem->alloc_small)(reinterpret_cast<j_common_ptr>(codec), JPOOL_PERMANENT, sizeof(jpeg_source_mgr)));
  source->init_source = SourceNothing;
  source->fill_input_buffer = SourceFill;
  source->skip_input_data = SourceSkip;
  source->resync_to_restart = jpeg_resync_to_restart;
  source->term_source = SourceNothing;
  source->next_input_byte = data;
  source->bytes_in_buffer = length;
  codec->src = source;
}

// ---- memory destination -----------------------------------------------------------
// One fixed block that never grows: the compressed image fits in it or compression fails.
struct MemoryDestination {
  jpeg_destination_mgr manager;
  JOCTET buffer[kJpegDestinationSize];
  std::uint32_t length;
};

void DestinationInit(j_compress_ptr codec) {
  auto* destination = reinterpret_cast<MemoryDestination*>(codec->dest);
  destination->manager.next_output_byte = destination->buffer;
  destination->manager.free_in_buffer = kJpegDestinationSize;
  destination->length = 0;
}

boolean DestinationEmpty(j_compress_ptr codec) {
  // Full: refuse. The codec treats FALSE as suspension, which jpeg_finish_compress turns
  // into an error, so an image too large for the buffer fails the call.
  ERREXIT(codec, JERR_BUFFER_SIZE);
  return FALSE;
}

void DestinationTerm(j_compress_ptr codec) {
  auto* destination = reinterpret_cast<MemoryDestination*>(codec->dest);
  destination->length = static_cast<std::uint32_t>(kJpegDestinationSize - destination->manager.free_in_buffer);
}

MemoryDestination* AttachMemoryDestination(j_compress_ptr codec) {
  auto* destination = static_cast<MemoryDestination*>((*codec->mem->alloc_large)(
      reinterpret_cast<j_common_ptr>(codec), JPOOL_PERMANENT, sizeof(MemoryDestination)));
  destination->manager.init_destination = DestinationInit;
  destination->manager.empty_output_buffer = DestinationEmpty;
  destination->manager.term_destination = DestinationTerm;
  destination->length = 0;
  codec->dest = &destination->manager;
  return destination;
}

}  // namespace

// Both helpers use setjmp: no object with a destructor lives in their frames, and every
// local changed after setjmp that is read after a jump is volatile.
bool DecodeJpeg(const std::uint8_t* data, std::size_t length, RawImage& image, std::size_t maxBytes) {
  image = RawImage{};
  jpeg_decompress_struct codec;
  TrapError trap;
  std::uint8_t* volatile pixels = nullptr;

  SetUpTrap(trap);
  codec.err = &trap.manager;
  if (setjmp(trap.jump)) {
    std::free(pixels);
    return false;
  }
  jpeg_create_decompress(&codec);
  AttachMemorySource(&codec, data, length);
  jpeg_read_header(&codec, TRUE);
  // The size the header claims is checked before the codec allocates anything for the image
  // (a progressive picture keeps all its coefficients), and the codec's own memory is bounded.
  jpeg_calc_output_dimensions(&codec);
  const std::uint64_t claimed =
      std::uint64_t{codec.output_width} * codec.output_height * std::uint64_t(codec.out_color_components);
  if (claimed == 0 || claimed > maxBytes) {
    jpeg_destroy_decompress(&codec);
    return false;
  }
  codec.mem->max_memory_to_use = static_cast<long>(kJpegCodecMemory);
  jpeg_start_decompress(&codec);

  const std::uint64_t stride = std::uint64_t{codec.output_width} * std::uint64_t(codec.output_components);
  const std::uint64_t total = stride * codec.output_height;
  if (total == 0 || total > maxBytes) {
    jpeg_destroy_decompress(&codec);
    return false;
  }
  pixels = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(total)));
  if (!pixels) {
    jpeg_destroy_decompress(&codec);
    return false;
  }
  while (codec.output_scanline < codec.output_height) {
    JSAMPROW row = pixels + codec.output_scanline * stride;
    jpeg_read_scanlines(&codec, &row, 1);
  }
  jpeg_finish_decompress(&codec);

  image.pixels = pixels;
  image.width = codec.output_width;
  image.height = codec.output_height;
  image.components = static_cast<std::uint32_t>(codec.output_components);
  jpeg_destroy_decompress(&codec);
  return true;
}

bool EncodeJpeg(const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height, std::uint32_t components,
                int quality, std::uint8_t** jpeg, std::uint32_t* length) {
  *jpeg = nullptr;
  *length = 0;
  jpeg_compress_struct codec;
  TrapError trap;

  SetUpTrap(trap);
  codec.err = &trap.manager;
  if (setjmp(trap.jump)) return false;
  jpeg_create_compress(&codec);
  codec.image_width = width;
  codec.image_height = height;
  codec.input_components = static_cast<int>(components);
  codec.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&codec);
  jpeg_set_quality(&codec, quality, TRUE);
  MemoryDestination* destination = AttachMemoryDestination(&codec);
  jpeg_start_compress(&codec, TRUE);

  const std::size_t stride = std::size_t{width} * components;
  while (codec.next_scanline < codec.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels + codec.next_scanline * stride);
    jpeg_write_scanlines(&codec, &row, 1);
  }
  jpeg_finish_compress(&codec);

  auto* out = static_cast<std::uint8_t*>(std::malloc(destination->length ? destination->length : 1));
  if (!out) {
    jpeg_destroy_compress(&codec);
    return false;
  }
  std::memcpy(out, destination->buffer, destination->length);
  *jpeg = out;
  *length = destination->length;
  jpeg_destroy_compress(&codec);
  return true;
}

bool JpegPictureBytes(const std::uint8_t* data, std::size_t length, std::uint64_t* bytes, std::uint32_t* components) {
  jpeg_decompress_struct codec;
  TrapError trap;
  SetUpTrap(trap);
  codec.err = &trap.manager;
  if (setjmp(trap.jump)) return false;
  jpeg_create_decompress(&codec);
  AttachMemorySource(&codec, data, length);
  jpeg_read_header(&codec, TRUE);
  jpeg_calc_output_dimensions(&codec);
  *bytes = std::uint64_t{codec.output_width} * codec.output_height * std::uint64_t(codec.out_color_components);
  *components = static_cast<std::uint32_t>(codec.out_color_components);
  jpeg_destroy_decompress(&codec);
  return true;
}

MemoryBudget::Reservation::Reservation(MemoryBudget& budget, std::uint64_t bytes)
    : budget_(budget), bytes_(bytes < budget.total_ ? bytes : budget.total_) {
  std::unique_lock lock(budget_.mutex_);
  budget_.freed_.wait(lock, [&] { return budget_.used_ + bytes_ <= budget_.total_; });
  budget_.used_ += bytes_;
}

MemoryBudget::Reservation::~Reservation() {
  {
    std::lock_guard lock(budget_.mutex_);
    budget_.used_ -= bytes_;
  }
  budget_.freed_.notify_all();
}

std::uint64_t MemoryBudget::Used() const {
  std::lock_guard lock(mutex_);
  return used_;
}

MemoryBudget& DecodeMemoryBudget() {
  static MemoryBudget budget(kDecodeMemoryBudget);
  return budget;
}
