# The two commands: `make run` and `make test`. Both install what is missing first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
PKG_BUILD  ?= build-package
WIN_BUILD  ?= build-windows
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all deps windows-deps build run test test-asan test-windows bench fuzz package install-local clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_ARGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# The windowed program with the demonstration meter attached, its data.db in
# run/ inside the checkout. Against real meters: $(BUILD)/src/app/zorvex
# started from the directory that is to hold data.db.
run: build
	mkdir -p run
	cd run && "$(abspath $(BUILD))/src/app/zorvex" --demo

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DZORVEX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# The Qt-free libraries, zorvex-cli and every test that needs no Qt, cross-built
# for 64-bit Windows with MinGW-w64 and run under wine64 as on a Russian
# Windows: ANSI code page 1251, the user Иван (profile, %TEMP% and
# %LOCALAPPDATA% in C:\users\Иван) and the programs in a folder named
# Программа. Headless. Wine's prefix lives in the build directory; SQLite is
# built from Debian's source package, GoogleTest from Debian's sources.
WIN_SQLITE_SRC ?= /usr/local/src/sqlite3
WIN_TREE = $(WIN_BUILD)/Программа
# No Mono or Gecko prompts, no display: the prefix is made once, before the tests.
# 64-bit only: Debian's wine64 has no 32-bit half. Wine names the profile after USER.
WIN_ENV = WINEPREFIX="$(abspath $(WIN_BUILD))/wine" WINEARCH=win64 WINEDEBUG=-all \
	  WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY= LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8 \
	  USER=Иван LOGNAME=Иван ZORVEX_RUSSIAN_WINDOWS=1
windows-deps:
	@scripts/install-deps --windows

$(WIN_TREE)/build.ninja: | windows-deps
	cmake -S . -B $(WIN_TREE) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake \
	  -DZORVEX_SQLITE_SOURCE_DIR=$(WIN_SQLITE_SRC) $(CMAKE_ARGS)

test-windows: windows-deps $(WIN_TREE)/build.ninja
	cmake --build $(WIN_TREE) -j $(JOBS)
	scripts/check-qt-sources-mingw $(JOBS)
	$(WIN_ENV) /usr/lib/wine/wine64 wineboot --init
	$(WIN_ENV) /usr/lib/wine/wineserver --wait
	$(WIN_ENV) ctest --test-dir $(WIN_TREE) --output-on-failure -j $(JOBS)

bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

# libFuzzer targets (clang); FUZZ_SECONDS per target.
FUZZ_SECONDS ?= 60
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DZORVEX_FUZZ=ON -DZORVEX_GUI=OFF $(CMAKE_ARGS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@for f in $(FUZZ_BUILD)/fuzz/fuzz_*; do \
	  [ -x "$$f" ] || continue; \
	  echo "== $$f"; mkdir -p $(FUZZ_BUILD)/corpus/$$(basename $$f); \
	  "$$f" -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 $(FUZZ_BUILD)/corpus/$$(basename $$f) || exit 1; \
	done

# The Debian package: the programs built stripped in Release in $(PKG_BUILD)
# (only what is installed, no tests), packed by CPack with the Depends that
# dpkg-shlibdeps finds, then checked: control fields, file list, stripping.
# ${...}: make would count the parentheses of the sed script.
VERSION := ${shell sed -n 's/^project(zorvex VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt}
package: deps
	cmake -S . -B $(PKG_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
	  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON $(CMAKE_ARGS)
	cmake --build $(PKG_BUILD) -j $(JOBS) --target zorvex zorvex-cli zorvex_install_files
	cd $(PKG_BUILD) && cpack -G DEB
	tests/install/check_deb.sh $(PKG_BUILD)/zorvex_$(VERSION)_*.deb $(VERSION)

# Installs that package on this system through apt, which brings its
# dependencies; `apt-get remove zorvex` takes it away again.
SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)
install-local: package
	$(SUDO) apt-get install -y --reinstall ./$(PKG_BUILD)/zorvex_$(VERSION)_*.deb

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(WIN_BUILD)

# The manual's pictures (doc/images) made again from the real windows under Xvfb.
.PHONY: doc-images
doc-images: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target zorvex-doc-images
	BUILD=$(BUILD) scripts/doc-images
