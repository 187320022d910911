# Veldrun: make build | make test | make demo | make bench | make fuzz SECONDS=N
# Every target first installs what is missing (scripts/install-deps.sh).

SHELL := /bin/bash
OUT   := $(CURDIR)/out
B     := $(OUT)/build
JOBS  ?= $(shell nproc)

CMAKE_HOST   := cmake -S . -G Ninja -DCMAKE_BUILD_TYPE=Release
CMAKE_SAN    := cmake -S . -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELDRUN_SANITIZE=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
CMAKE_WIN64  := cmake -S . -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/toolchain-win64.cmake
CMAKE_WIN32  := cmake -S . -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/toolchain-win32.cmake

.PHONY: all deps build build-host build-san build-win64 build-win32 dist test demo bench fuzz format check-format clean

all: build

deps:
	@scripts/install-deps.sh

build-host: deps
	@$(CMAKE_HOST) -B $(B)/host >/dev/null
	@cmake --build $(B)/host -j $(JOBS)

build-san: deps
	@$(CMAKE_SAN) -B $(B)/host-san >/dev/null
	@cmake --build $(B)/host-san -j $(JOBS)

build-win64: deps
	@$(CMAKE_WIN64) -B $(B)/win64 >/dev/null
	@cmake --build $(B)/win64 -j $(JOBS)

build-win32: deps
	@$(CMAKE_WIN32) -B $(B)/win32 >/dev/null
	@cmake --build $(B)/win32 -j $(JOBS)

# The programs at their fixed places.
dist:
	@mkdir -p $(OUT)/win32 $(OUT)/win64 $(OUT)/host
	@cp $(B)/win32/src/app/Veldrun.exe $(OUT)/win32/Veldrun.exe
	@cp $(B)/win64/src/app/Veldrun.exe $(OUT)/win64/Veldrun.exe
	@for t in win32 win64; do [ -f $(B)/$$t/tools/vdrpack.exe ] && cp $(B)/$$t/tools/vdrpack.exe $(OUT)/$$t/ || true; done
	@[ -f $(B)/host/tools/vdrpack ] && cp $(B)/host/tools/vdrpack $(OUT)/host/ || true

build: build-host build-win64 build-win32
	@$(MAKE) --no-print-directory dist
	@echo "built: out/win32/Veldrun.exe out/win64/Veldrun.exe"

# One ctest run over every build tree: host tests, the same under ASan and
# UBSan (built with clang; each fuzz target runs its seed corpus once), and
# the Windows and end-to-end tests under Wine in two lanes that run side by
# side, each in its own prefix: win64 (the test build) and win32 (the release
# build under emulated i386 Wine).
test: build build-san
	@mkdir -p $(OUT)/ctest
	@printf 'subdirs("%s" "%s" "%s" "%s")\n' $(B)/host $(B)/host-san $(B)/win64 $(B)/win32 > $(OUT)/ctest/CTestTestfile.cmake
	@cd $(OUT)/ctest && ctest -j2 --output-on-failure $(CTEST_ARGS)

demo: build
	@scripts/demo.sh

bench: build-host build-win64
	@scripts/bench.sh

# Fuzzes each target of the sanitizer tree for SECONDS seconds (tests/fuzz).
SECONDS ?= 60
fuzz: build-san
	@scripts/fuzz.sh $(SECONDS)

# Formats the tree's C++ files with clang-format; check-format lists those
# that differ from it.
format: deps
	@scripts/check-format.sh --fix

check-format: deps
	@scripts/check-format.sh

clean:
	rm -rf $(OUT)
