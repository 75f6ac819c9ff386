# Thin front over the CMake presets. `make` builds every module into dist/,
# `make test` runs every test suite. Both install missing Debian packages first.
PRESETS := native

.PHONY: all deps test clean $(addprefix build-,$(PRESETS)) $(addprefix test-,$(PRESETS))

all: deps $(addprefix build-,$(PRESETS))

deps:
	./tools/install-deps.sh

build-%:
	cmake --preset $*
	cmake --build --preset $*

test-%: build-%
	ctest --preset $*

test: deps $(addprefix test-,$(PRESETS))

clean:
	rm -rf build dist
