#include "import/odb_file.h"

#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <vector>

#include "foundation/file_utils.h"
#include "foundation/utilities.h"
#include "import/lzw_decompress.h"
#include "platform/file_ops.h"
#include "platform/paths.h"


TOdbFile::TOdbFile(const std::string& fileName) : fileName_(fileName) {}

TOdbFile::~TOdbFile() { Close(); }

// Messages name files, whose paths may be long: they are cut only far
// beyond any box's width.
void TOdbFile::AddError(const std::string& message) { errors_.push_back(message.substr(0, 1023)); }

std::string TOdbFile::NextError() {
  if (errors_.empty()) return {};
  std::string m = errors_.front();
  errors_.pop_front();
  return m;
}

namespace {

// Leading digits (after an optional sign) up to the first other character.
int32_t LeadingInt(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  std::size_t j = i;
  if (j < text.size() && (text[j] == '-' || text[j] == '+')) ++j;
  while (j < text.size() && text[j] >= '0' && text[j] <= '9') ++j;
  return StrToIntLenient(text.substr(i, j - i));
}

// The fields of a text separated by sep, read leniently.
std::vector<int32_t> Fields(const std::string& text, char sep) {
  std::vector<int32_t> out;
  std::size_t start = 0;
  while (true) {
    const std::size_t p = text.find(sep, start);
    out.push_back(LeadingInt(text.substr(start, p == std::string::npos ? std::string::npos : p - start)));
    if (p == std::string::npos) break;
    start = p + 1;
  }
  return out;
}

int32_t DosOf(const std::tm& t) {
  return ((t.tm_year + 1900 - 1980) << 25) | ((t.tm_mon + 1) << 21) | (t.tm_mday << 16) |
         (t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec / 2);
}

}  // namespace

int32_t SumDateTimeToDos(const TOdbSumRecord& sum) {
  std::vector<int32_t> d = Fields(sum.Date, '/'), t = Fields(sum.Time, ':');
  d.resize(3, 0);
  t.resize(3, 0);
  int32_t year = d[2];
  if (year < 1900) year = year < 80 ? 2000 + year : 1900 + year;
  std::tm tm{};
  tm.tm_mday = d[0];
  tm.tm_mon = d[1] - 1;
  tm.tm_year = year - 1900;
  tm.tm_hour = t[0];
  tm.tm_min = t[1];
  tm.tm_sec = t[2];
  return DosOf(tm);
}

std::string DosDateText(int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  return IntToStr2(static_cast<int32_t>((u >> 16) & 31)) + "/" +
         IntToStr2(static_cast<int32_t>((u >> 21) & 15)) + "/" +
         IntToStr2(static_cast<int32_t>(((u >> 25) + 1980) % 100));
}

std::string DosTimeText(int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  return IntToStr2(static_cast<int32_t>((u >> 11) & 31)) + ":" +
         IntToStr2(static_cast<int32_t>((u >> 5) & 63)) + ":" +
         IntToStr2(static_cast<int32_t>((u & 31) * 2));
}

int32_t FileByteSum(const std::string& fileName) {
  if (!FileExistsNoWild(fileName)) return -1;
  std::FILE* f = std::fopen(NativePath(fileName).c_str(), "rb");
  if (f == nullptr) return -1;
  uint32_t sum = 0;
  std::vector<uint8_t> buffer(65408);
  std::size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), f)) > 0)
    for (std::size_t i = 0; i < n; ++i) sum += buffer[i];
  std::fclose(f);
  return static_cast<int32_t>(sum);
}

bool TOdbFile::ReadSumFile(const std::string& sumName) {
  Sum = TOdbSumRecord{};
  std::FILE* f = std::fopen(NativePath(sumName).c_str(), "rb");
  if (f == nullptr) {
    AddError("Error <" + SystemErrorText(errno) + "> reading SUM file <" + sumName + ">.");
    return false;
  }
  std::string line;
  // A sum file is a few short lines: a longer one is cut, not read on.
  for (TLineRead got; (got = ReadTextLineLimited(f, line)) != lrEnd;) {
    if (got == lrTooLong) break;
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = UpperCaseStr(line.substr(0, eq)), value = line.substr(eq + 1);
    if (key == "SIZE") Sum.Size = LeadingInt(value);
    else if (key == "SUM") Sum.Sum = LeadingInt(value);
    else if (key == "DATE") Sum.Date = value.substr(0, 8);
    else if (key == "TIME") Sum.Time = value.substr(0, 8);
    else if (key == "VERSION") Sum.Version = value.substr(0, 8);
    else if (key == "USER") Sum.User = value.substr(0, 64);
  }
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) AddError("Error <" + SystemErrorText(EIO) + "> reading SUM file <" + sumName + ">.");
  return !failed;
}

bool TOdbFile::OpenRead(int32_t maxAge) {
  unpackFailed_ = false;
  if (state_ == 0 && !FileExistsNoWild(fileName_)) {
    // `compress` appends ".Z" to the whole name; a copy whose extension was
    // replaced by "Z" is taken too.
    std::string packed = fileName_ + ".Z";
    if (!FileExistsNoWild(packed)) packed = ChangeFileExtension(fileName_, "Z");
    if (FileExistsNoWild(packed)) {
      TDecompressor decompressor;
      std::string message;
      if (!Decompress(decompressor, packed, fileName_, 255, message)) {
        AddError("Error decompressing " + packed + (message.empty() ? "" : ": " + message));
        unpackFailed_ = true;
        return false;
      }
    }
  }
  const bool verify = maxAge < kOdbNoVerify;
  if (state_ != 0) {
    AddError("File <" + fileName_ + "> already open.");
    return false;
  }
  if (!FileExistsNoWild(fileName_)) {
    AddError("File <" + fileName_ + "> not found.");
    return false;
  }
  if (verify) {
    const std::string sumName = ChangeFileExtension(fileName_, "SUM");
    if (!FileExistsNoWild(sumName)) {
      AddError("File <" + sumName + "> not found.");
      return false;
    }
    if (!ReadSumFile(sumName)) return false;
    if (Sum.Size != FileSizeOf(fileName_)) {
      AddError("File size mismatch on <" + fileName_ + ">.");
      return false;
    }
    const int32_t sum = FileByteSum(fileName_);
    if (Sum.Sum != -1 && Sum.Sum != sum) {
      AddError("Checksum error, reported " + std::to_string(Sum.Sum) + ", read " +
               std::to_string(sum));
      return false;
    }
    struct stat st{};
    if (::stat(NativePath(fileName_).c_str(), &st) == 0) {
      std::tm tm{};
      localtime_r(&st.st_mtime, &tm);
      const int32_t actual = DosOf(tm);
      if (std::llabs(int64_t{actual} - SumDateTimeToDos(Sum)) > maxAge) {
        AddError("Time mismatch: Check time = " + Sum.Time + " " + Sum.Date +
                 ", Actual time = " + DosTimeText(actual) + " " + DosDateText(actual));
        return false;
      }
    }
  }
  in_ = std::fopen(NativePath(fileName_).c_str(), "rb");
  if (in_ == nullptr) {
    AddError("File <" + fileName_ + "> not found.");
    return false;
  }
  state_ = 1;
  lineNumber_ = 0;
  return true;
}

bool TOdbFile::OpenWrite(bool overwrite) {
  if (FileExistsNoWild(fileName_) && !overwrite) return false;
  if (state_ != 0) {
    AddError("File <" + fileName_ + "> already open.");
    return false;
  }
  out_ = std::make_unique<TReplacingFile>(NativeSavePath(fileName_));
  if (!out_->Opened()) {
    AddError("Error <" + SystemErrorText(out_->Error()) + "> creating <" + fileName_ + ">.");
    out_.reset();
    return false;
  }
  pending_.clear();
  state_ = 2;
  return true;
}

bool TOdbFile::ReadLine(std::string& line) {
  if (state_ != 1) return false;
  const TLineRead got = ReadTextLineLimited(in_, line);
  if (got == lrEnd) return false;
  ++lineNumber_;
  if (got == lrLine) return true;
  // No job file has such a line: the rest (a file without line ends may run
  // to gigabytes) is not read to find its end.
  AddError("Line " + std::to_string(lineNumber_) + " of <" + fileName_ + "> is longer than " +
           IntToStrGrouped(int32_t(kMaxTextLine)) + " characters.");
  line.clear();
  std::fclose(in_);
  in_ = nullptr;
  state_ = 0;
  return false;
}

void TOdbFile::WriteLine(const std::string& line) {
  if (state_ != 2) return;
  pending_ += line;
  pending_ += "\r\n";
  if (pending_.size() >= 1 << 16) {
    out_->Write(pending_.data(), pending_.size());
    pending_.clear();
  }
}

bool TOdbFile::Close() {
  bool ok = true;
  if (state_ == 1) {
    std::fclose(in_);
    in_ = nullptr;
  } else if (state_ == 2) {
    if (!pending_.empty()) out_->Write(pending_.data(), pending_.size());
    pending_.clear();
    int e = out_->Close();
    if (e == 0) e = out_->Commit();
    if (e != 0) {
      AddError("Error <" + SystemErrorText(e) + "> writing <" + fileName_ + ">.");
      ok = false;
    }
    out_.reset();
  }
  state_ = 0;
  return ok;
}
