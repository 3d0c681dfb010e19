// The picture box's decode of a 24-megapixel baseline photo against a full decode of the same
// file; the ratio of the two times is the gain of decoding only what the box shows.
#include <climits>

#include <benchmark/benchmark.h>

#include "app/picture_box.h"
#include "jpeg_fixture.h"
#include "platform/jpeg.h"

namespace {

const Bytes& Photo() {
    static const Bytes photo(EncodeJpeg({6000, 4000}));
    return photo;
}

void PictureSetImageDecode(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(DecodePicture(Photo(), QSize(110, 135)));
}
BENCHMARK(PictureSetImageDecode)->Unit(benchmark::kMillisecond);

void FullDecode(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(DecodeJpeg(Photo().view(), INT_MAX, INT_MAX));
}
BENCHMARK(FullDecode)->Unit(benchmark::kMillisecond);

} // namespace
