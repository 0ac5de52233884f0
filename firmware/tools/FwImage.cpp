// fwimage: shows what the loader reads from a firmware image, and packs a
// payload into a new one.
//
//   fwimage info FILE
//   fwimage pack --version TEXT [--date TEXT] PAYLOAD OUT
//   fwimage builtin OUT          (writes the image built into this program)
//   fwimage --help | --version

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "firmware/FirmwareImage.h"
#include "platform/Console.h"
#include "platform/Files.h"
#include "platform/Resources.h"
#include "platform/Sha256.h"
#include "platform/Version.h"

namespace {

constexpr int kOk = 0, kRefused = 1, kUsage = 2;

constexpr const char* kUsageText =
    "Usage: fwimage info FILE\n"
    "  or:  fwimage pack --version TEXT [--date TEXT] PAYLOAD OUT\n"
    "  or:  fwimage builtin OUT\n"
    "  or:  fwimage --help | --version\n";

int Usage() {
    std::fputs(kUsageText, stderr);
    return kUsage;
}

int Help() {
    std::fputs(kUsageText, stdout);
    std::fputs(
        "\n"
        "Reads and writes the firmware images (.eraw) of the Zelvia USB firmware loader.\n"
        "\n"
        "Commands:\n"
        "  info FILE     check FILE as the loader does and print its size, checksum,\n"
        "                SHA-256 (of the whole file, as sha256sum gives it), version,\n"
        "                date and payload size\n"
        "  pack          pack the bytes of PAYLOAD into a new image OUT, with the\n"
        "                version TEXT (such as ZVOM-3.2) and, if given, the date TEXT\n"
        "                (such as \"30.06.2014 17:52:29\"); an image without a date\n"
        "                says so in its flag\n"
        "  builtin OUT   write the image built into the loader's programs to OUT\n"
        "\n"
        "Exit status:\n"
        "  0  done\n"
        "  1  the image was refused (the loader's message is printed), or this\n"
        "     program carries no built-in image\n"
        "  2  bad arguments, or a file that cannot be read or written\n",
        stdout);
    return kOk;
}

std::optional<std::vector<uint8_t>> ReadBytes(const char* path) {
    std::ifstream in(zv::Utf8Path(path), std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
}

bool WriteBytes(const char* path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(zv::Utf8Path(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

int Info(const char* path) {
    auto bytes = ReadBytes(path);
    if (!bytes) {
        std::fprintf(stderr, "fwimage: cannot read %s\n", path);
        return kUsage;
    }
    // Of the file as read, before parsing works on the bytes; sha256sum gives the same.
    const std::string sha256 = zv::Sha256Hex(*bytes);
    const auto header = zv::ReadImageHeader(*bytes);
    zv::TFirmwareVersion version;
    zv::TBlockList blocks;
    bool refusedWithMessage = false;
    bool ok = false;
    try {
        ok = zv::ParseFirmwareImage(*bytes, version, blocks, [&](zv::LogLevel, const std::string& message) {
            std::fprintf(stderr, "%s\n", message.c_str());
            refusedWithMessage = true;
        });
    } catch (const zv::TFirmwareError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return kRefused;
    }
    if (!ok) {
        // A version text the loader cannot read has no message of its own.
        if (!refusedWithMessage) std::fprintf(stderr, "Ошибка загрузки прошивки\n");
        return kRefused;
    }
    std::printf("size: %zu\n", bytes->size());
    std::printf("checksum: 0x%04X\n", header->checksum);
    std::printf("sha256: %s\n", sha256.c_str());
    std::printf("version: %s\n", version.formatVersion().c_str());
    std::printf("date: %s\n", version.formatDate().c_str());
    std::printf("payload: %d bytes\n", blocks.front()->size);
    return kOk;
}

int Pack(int argc, char** argv) {
    std::optional<std::string> versionText, dateText;
    std::vector<const char*> files;
    for (int i = 0; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--version") && i + 1 < argc)
            versionText = argv[++i];
        else if (!std::strcmp(argv[i], "--date") && i + 1 < argc)
            dateText = argv[++i];
        else if (argv[i][0] == '-' && argv[i][1] == '-')
            return Usage();
        else
            files.push_back(argv[i]);
    }
    if (!versionText || files.size() != 2) return Usage();
    auto payload = ReadBytes(files[0]);
    if (!payload) {
        std::fprintf(stderr, "fwimage: cannot read %s\n", files[0]);
        return kUsage;
    }
    // Text lengths are 16-bit fields and the size field has 31 bits.
    if (versionText->size() > 0xFFFF || (dateText && dateText->size() > 0xFFFF) || payload->size() >= 0x7FFE0000u) {
        std::fprintf(stderr, "fwimage: payload or texts too large for an image\n");
        return kUsage;
    }
    if (!WriteBytes(files[1], zv::PackFirmwareImage(*versionText, dateText, *payload))) {
        std::fprintf(stderr, "fwimage: cannot write %s\n", files[1]);
        return kUsage;
    }
    return kOk;
}

int Builtin(const char* path) {
    auto image = zv::FindResource("FRMV", "RC_DATA");
    if (!image) {
        std::fprintf(stderr, "fwimage: this program carries no built-in image\n");
        return kRefused;
    }
    if (!WriteBytes(path, std::vector<uint8_t>(image->begin(), image->end()))) {
        std::fprintf(stderr, "fwimage: cannot write %s\n", path);
        return kUsage;
    }
    return kOk;
}

}  // namespace

int main(int argc, char** argv) {
    zv::PrepareConsole();
    // The arguments as UTF-8, so a file in any folder can be named.
    std::vector<std::string> arguments = zv::ProgramArguments(argc, argv);
    std::vector<char*> pointers;
    for (std::string& argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    argc = static_cast<int>(arguments.size());
    argv = pointers.data();
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    if (command == "--help" || command == "-h") return Help();
    if (command == "--version") {
        std::printf("fwimage %s\n", zv::LoaderVersion());
        return kOk;
    }
    if (command == "info" && argc == 3) return Info(argv[2]);
    if (command == "pack") return Pack(argc - 2, argv + 2);
    if (command == "builtin" && argc == 3) return Builtin(argv[2]);
    return Usage();
}
