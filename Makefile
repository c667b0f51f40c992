# Entry points; everything below installs what is missing first.
#   make test       build and run the whole test suite
#   make demo       build, then brevon reads a sample mailbox from a throwaway local server
#   make run        build and run brevon on one's own mailbox
#   make test-asan  the test suite under AddressSanitizer and UndefinedBehaviorSanitizer
#   make test-release  the Release build (-O3) with its tests, the fast ones run (no gui, no soak)
#   make fuzz       build the libFuzzer targets with clang (build-fuzz/)
#   make fuzz-smoke the fuzz build, then each target for a short run on a copy of its seeds
#   make bench      build and run the benchmarks (bench/); one that fails fails the target
#   make bench-build  build the benchmarks only
#   make install    install into PREFIX (default /usr/local), whatever the build was set up with
#   make windows    cross-build the Windows DLLs and programs with mingw-w64 (build-win/)
#   make test-windows  the Windows build's tests under Wine, morvik-classify.exe against the
#                   Linux build's (whose morvik-classify and models it builds in BUILD)
#   make deb        the Debian packages, built with dpkg-buildpackage from a copy of the tree
#                   (BUILD_DEB); the .deb files land in BUILD_DEB
#   make test-deb   make deb, then install the packages with apt, check them, purge them

BUILD      ?= build
BUILD_ASAN ?= build-asan
BUILD_RELEASE ?= build-release
BUILD_FUZZ ?= build-fuzz
BUILD_BENCH ?= build-bench
BUILD_WIN  ?= build-win
BUILD_DEB  ?= build-deb
PREFIX     ?= /usr/local
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja
CTEST_ARGS ?= --output-on-failure -j $(JOBS)
# The targets here treat compiler warnings as errors (WERROR=OFF lets a build through anyway); a
# plain cmake build does not.
WERROR     ?= ON

.PHONY: deps build test test-asan test-release run fuzz fuzz-smoke bench bench-build install format clean
.PHONY: deps-windows windows test-windows linux-classify

deps:
	@scripts/install-deps

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=$(PREFIX) \
	  -DBREVON_WERROR=$(WERROR)

# A build folder set up earlier keeps its cache: the warnings setting is given again each time.
build: deps $(BUILD)/build.ninja
	cmake -S . -B $(BUILD) -DBREVON_WERROR=$(WERROR) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest $(CTEST_ARGS)

test-asan: deps
	cmake -S . -B $(BUILD_ASAN) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DBREVON_SANITIZE=ON \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DBREVON_WERROR=$(WERROR)
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	cd $(BUILD_ASAN) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest $(CTEST_ARGS)

# The type a distribution builds, with the tests, so that what only -O3 warns about or breaks
# shows here; the GUI and soak tests stay with the main build's run.
test-release: deps
	cmake -S . -B $(BUILD_RELEASE) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DBREVON_WERROR=$(WERROR)
	cmake --build $(BUILD_RELEASE) -j $(JOBS)
	cd $(BUILD_RELEASE) && ctest $(CTEST_ARGS) -LE 'gui|soak'

run: build
	@scripts/run-main $(BUILD)

# The program's main job to show: brevon against a throwaway Dovecot with the sample
# mailbox of tools/demo; headless (Xvfb, trayer, silent speech) without a desktop.
.PHONY: demo
demo: build
	@python3 tools/demo/demo.py --build $(BUILD)

fuzz: deps
	cmake -S . -B $(BUILD_FUZZ) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBREVON_FUZZ=ON \
	  -DBREVON_TESTS=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DBREVON_WERROR=$(WERROR)
	cmake --build $(BUILD_FUZZ) -j $(JOBS)

fuzz-smoke: fuzz
	cd $(BUILD_FUZZ) && ctest $(CTEST_ARGS) -L fuzz

bench-build: deps
	cmake -S . -B $(BUILD_BENCH) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DBREVON_BENCH=ON -DBREVON_TESTS=OFF \
	  -DBREVON_WERROR=$(WERROR)
	cmake --build $(BUILD_BENCH) -j $(JOBS)

bench: bench-build
	@failed=""; ran=0; \
	for b in $(BUILD_BENCH)/bench/bench_*; do \
	  [ -x "$$b" ] || continue; ran=$$((ran + 1)); \
	  "$$b" || failed="$$failed $${b##*/}"; \
	done; \
	if [ $$ran -eq 0 ]; then echo "bench: no benchmarks in $(BUILD_BENCH)/bench" >&2; exit 1; fi; \
	if [ -n "$$failed" ]; then echo "bench: failed:$$failed" >&2; exit 1; fi

# The Windows build: mingw-w64 with the posix thread model, Tcl's hash tables from Debian's Tcl
# source package and GoogleTest from Debian's sources, both built with the same toolchain; the
# programs run under Wine in a prefix of the build folder's own (scripts/wine-prefix).
WIN_DIR       = $(abspath $(BUILD_WIN))
WIN_TOOLCHAIN = $(CURDIR)/cmake/toolchains/mingw-w64-x86_64.cmake

deps-windows:
	@scripts/install-deps-windows

$(BUILD_WIN)/tcl/generic/tclHash.c: | deps-windows
	scripts/fetch-tcl-source $(WIN_DIR)/tcl

$(BUILD_WIN)/googletest/lib/cmake/GTest/GTestConfig.cmake: | deps-windows
	cmake -S /usr/src/googletest -B $(WIN_DIR)/googletest-build $(CMAKE_GEN) \
	  -DCMAKE_TOOLCHAIN_FILE=$(WIN_TOOLCHAIN) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_INSTALL_PREFIX=$(WIN_DIR)/googletest
	cmake --build $(WIN_DIR)/googletest-build -j $(JOBS)
	cmake --install $(WIN_DIR)/googletest-build >/dev/null

# Building runs morvik-build.exe under Wine for the models, so the prefix's server runs meanwhile.
windows: deps-windows $(BUILD_WIN)/tcl/generic/tclHash.c $(BUILD_WIN)/googletest/lib/cmake/GTest/GTestConfig.cmake
	cmake -S . -B $(BUILD_WIN) $(CMAKE_GEN) -DCMAKE_TOOLCHAIN_FILE=$(WIN_TOOLCHAIN) \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBREVON_TCL_SOURCE_DIR=$(WIN_DIR)/tcl \
	  -DGTest_DIR=$(WIN_DIR)/googletest/lib/cmake/GTest -DBREVON_LINUX_BUILD=$(abspath $(BUILD)) \
	  -DBREVON_WERROR=$(WERROR)
	scripts/wine-prefix start $(BUILD_WIN)
	cmake --build $(BUILD_WIN) -j $(JOBS) || { scripts/wine-prefix stop $(BUILD_WIN); exit 1; }
	scripts/wine-prefix stop $(BUILD_WIN)

# The Linux morvik-classify and models that the Windows one is compared with.
linux-classify: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target morvik-classify morvik_models

test-windows: windows linux-classify
	scripts/wine-prefix start $(BUILD_WIN)
	cd $(BUILD_WIN) && ctest $(CTEST_ARGS); status=$$?; \
	  cd $(CURDIR) && scripts/wine-prefix stop $(BUILD_WIN); exit $$status

# The prefix is given at install time: the build folder keeps the one it was first set up with.
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

format:
	git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_RELEASE) $(BUILD_FUZZ) $(BUILD_BENCH) $(BUILD_DEB)
	-[ -d $(BUILD_WIN) ] && scripts/wine-prefix stop $(BUILD_WIN)
	rm -rf $(BUILD_WIN)

# Debian packages. dpkg-buildpackage puts its results beside the source folder, so it runs on a
# copy of the tree in BUILD_DEB/src (without build folders and git's own), and the packages land
# in BUILD_DEB. The copy is a Release build without tests: the suite runs on the tree itself.
.PHONY: deb test-deb
# The system's tools only (a Python of one's own in PATH must not build the Python module).
DEB_PATH = /usr/sbin:/usr/bin:/sbin:/bin
deb: deps
	rm -rf $(BUILD_DEB)
	mkdir -p $(BUILD_DEB)/src
	tar -c --exclude='./build*' --exclude=./.git --exclude='./obj-*' --exclude=./debian/.debhelper \
	  . | tar -x -C $(BUILD_DEB)/src
	cd $(BUILD_DEB)/src && env PATH=$(DEB_PATH) dpkg-buildpackage -us -uc -b -j$(JOBS)
	lintian --fail-on error,warning $(BUILD_DEB)/*.changes
	rm -rf $(BUILD_DEB)/check && dpkg-deb -x $(BUILD_DEB)/brevon_*.deb $(BUILD_DEB)/check
	desktop-file-validate $(BUILD_DEB)/check/usr/share/applications/brevon.desktop
	appstreamcli validate --no-net $(BUILD_DEB)/check/usr/share/metainfo/*.metainfo.xml
	rm -rf $(BUILD_DEB)/check
	# Only the packages stay: what is tried next must not find the build's own folder.
	rm -rf $(BUILD_DEB)/src

# Installs the packages on this machine (root or sudo), checks what a user and a developer meet,
# purges them and checks that nothing of them is left.
test-deb: deb
	scripts/test-deb $(BUILD_DEB)
