# The set-up commands of the README. Each one installs what is missing first, so a fresh
# Debian 12 machine needs nothing else (run as root there).

BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test install package clean

all: build

deps:
	bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

# The program keeps Diary.dat and the users' diaries in its working folder: diaries/ here.
run: build
	mkdir -p diaries
	cd diaries && ../$(BUILD_DIR)/bin/quillbook

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# Installs under PREFIX (default /usr/local): program, tool, menu entry, icons, metainfo, manual.
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

# A Debian package in build/: quillbook_<version>_<arch>.deb.
package: build
	cd $(BUILD_DIR) && cpack -G DEB

clean:
	rm -rf $(BUILD_DIR)
