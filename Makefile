# Thin front over the CMake presets. `make` builds every module into dist/,
# `make test` runs every test suite. Both install missing Debian packages first.
# native: the Linux module; win32: the product, a 32-bit Windows DLL; win64: a 64-bit
# Windows DLL. The Windows suites run under Wine.
PRESETS := native win32 win64
# Run by `make test` only: the native suite under AddressSanitizer and UndefinedBehaviorSanitizer
# (clang), the dsp tests under both built with GCC, whose sanitizer sees undefined behaviour that
# clang's headers hide, the threading tests under ThreadSanitizer, and a bounded libFuzzer run of
# each fuzz target.
CHECKS := asan-ubsan ubsan-gcc tsan fuzz
BUILDS := $(addprefix build-,$(PRESETS) $(CHECKS))
TESTS := $(addprefix test-,$(PRESETS) $(CHECKS))

.PHONY: all deps test clean show package $(BUILDS) $(TESTS)

all: deps $(addprefix build-,$(PRESETS)) show

deps:
	./tools/install-deps.sh

# Static pattern rules: make skips implicit rule search for phony targets.
$(BUILDS): build-%: deps
	cmake --preset $*
	cmake --build --preset $*

$(TESTS): test-%: build-%
	ctest --preset $*

# The Windows suites compare their module's output with the native module's; the 64-bit
# suite's installer test packs the 32-bit DLLs too.
test-win32 test-win64: build-native
test-win64: build-win32

# Real hosts (Ardour, LMMS) load the built modules; LMMS takes the 32-bit DLL.
.PHONY: test-hosts
test-hosts: build-native build-win32
	ctest --preset hosts

test: $(TESTS) test-hosts

# The last step of `make`: the native module as plughost sees it, and its transfer
# curve at the default settings in dist/.
show: build-native
	./host/after-build.sh build/native

# The packages, into dist/packages/: the Debian package (VST modules and LV2 bundles) from the
# native build, a zip with the DLLs from each Windows build, and the Windows installer with
# both widths' DLLs from the 64-bit tree. CPack and NSIS write into each build tree first.
package: $(addprefix build-,$(PRESETS))
	for preset in $(PRESETS); do \
	    rm -rf build/$$preset/packages && (cd build/$$preset && cpack) || exit 1; \
	done
	cmake --build build/win64 --target installer
	mkdir -p dist/packages
	cp build/native/packages/*.deb build/win32/packages/*.zip build/win64/packages/*.zip \
	    build/win64/packages/*-setup.exe dist/packages/

# Timings, never part of the tests: Google Benchmark and the subnormal cost ratios on the
# native build, then one timing program against the native module and, under Wine,
# against each Windows DLL; and the HQ module's 32-bit DLL against its Linux module.
.PHONY: bench
bench: build-native build-win32 build-win64
	build/native/bench/shaper_bench
	build/native/bench/subnormal_cost
	build/native/bench/wine_timing --save=build/native/bench/figures.txt
	cmake/wine-run.sh build/win32/wine build/win32/bench/wine_timing.exe --against=build/native/bench/figures.txt
	cmake/wine-run.sh build/win64/wine build/win64/bench/wine_timing.exe --against=build/native/bench/figures.txt
	build/native/bench/wine_timing dist/linux-x86_64/SoftKneeShaperHQ.so --save=build/native/bench/hq-figures.txt
	cmake/wine-run.sh build/win32/wine build/win32/bench/wine_timing.exe dist/win32/SoftKneeShaperHQ.dll \
	    --against=build/native/bench/hq-figures.txt

clean:
	rm -rf build dist
