# The two commands: `make run` and `make test`. Both install what is missing first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
PKG_BUILD  ?= build-package
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all deps build run test test-asan bench fuzz package install-local clean

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
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
