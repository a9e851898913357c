// Measures FFTW's plans for every packed real FFT that a setup makes and writes the wisdom as a
// C++ source for the Accelerate library:  MeasureFFTPlans OUTPUT.cpp

#include <cstdio>
#include <fstream>

#include "FFTPlanning.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.cpp\n", argv[0]);
    return 2;
  }
  for (unsigned log2n = 1; log2n <= accelerate::kMeasuredLargestLog2; ++log2n) {
    const int points = 1 << log2n;
    float* real = fftwf_alloc_real(static_cast<std::size_t>(points));
    fftwf_complex* spectrum = fftwf_alloc_complex(static_cast<std::size_t>(points) / 2 + 1);
    fftwf_destroy_plan(accelerate::planForward(points, real, spectrum, accelerate::kMeasuredFlags));
    fftwf_destroy_plan(accelerate::planInverse(points, spectrum, real, accelerate::kMeasuredFlags));
    fftwf_free(real);
    fftwf_free(spectrum);
  }
  char* wisdom = fftwf_export_wisdom_to_string();
  std::ofstream out(argv[1]);
  out << "// Made by MeasureFFTPlans when the library was built, on the machine that built it.\n"
         "extern const char kMeasuredFFTWisdom[];\n"
         "const char kMeasuredFFTWisdom[] = R\"wisdom("
      << (wisdom != nullptr ? wisdom : "") << ")wisdom\";\n";
  fftwf_free(wisdom);
  fftwf_cleanup();
  out.close();
  if (!out) {
    std::fprintf(stderr, "MeasureFFTPlans: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
