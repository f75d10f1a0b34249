// A strict reader of one JSON text, for checking what the program writes.
#pragma once

#include <cctype>
#include <cstdlib>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace qvtest {

struct TJson {
  enum TKind { Null, Bool, Number, String, Array, Object } Kind = Null;
  bool B = false;
  double N = 0;
  std::string S;
  std::vector<TJson> A;
  std::map<std::string, TJson> O;

  [[nodiscard]] const TJson &operator[](const std::string &AKey) const {
    auto it = O.find(AKey);
    if (Kind != Object || it == O.end()) throw std::runtime_error("no member " + AKey);
    return it->second;
  }
  [[nodiscard]] bool Has(const std::string &AKey) const { return Kind == Object && O.count(AKey); }
};

// Throws std::runtime_error when AText is not exactly one JSON value.
inline TJson ParseJson(const std::string &AText) {
  struct TReader {
    const std::string &T;
    std::size_t I = 0;
    [[noreturn]] void Fail(const char *AWhat) const {
      throw std::runtime_error(std::string(AWhat) + " at " + std::to_string(I));
    }
    void Space() {
      while (I < T.size() && std::isspace(static_cast<unsigned char>(T[I]))) ++I;
    }
    bool Take(const char *AWord) {
      const std::string w(AWord);
      if (T.compare(I, w.size(), w) != 0) return false;
      I += w.size();
      return true;
    }
    std::string Str() {
      if (T[I] != '"') Fail("string expected");
      ++I;
      std::string s;
      while (I < T.size() && T[I] != '"') {
        const unsigned char c = static_cast<unsigned char>(T[I]);
        if (c < 0x20) Fail("control character in string");
        if (c != '\\') {
          s += T[I++];
          continue;
        }
        if (++I >= T.size()) Fail("bad escape");
        const char e = T[I++];
        switch (e) {
          case '"':
            s += '"';
            break;
          case '\\':
            s += '\\';
            break;
          case '/':
            s += '/';
            break;
          case 'n':
            s += '\n';
            break;
          case 'r':
            s += '\r';
            break;
          case 't':
            s += '\t';
            break;
          case 'b':
            s += '\b';
            break;
          case 'f':
            s += '\f';
            break;
          case 'u': {
            if (I + 4 > T.size()) Fail("bad \\u");
            const long cp = std::strtol(T.substr(I, 4).c_str(), nullptr, 16);
            I += 4;
            if (cp < 0x80) {
              s += static_cast<char>(cp);
            } else if (cp < 0x800) {
              s += static_cast<char>(0xC0 | (cp >> 6));
              s += static_cast<char>(0x80 | (cp & 0x3F));
            } else {
              s += static_cast<char>(0xE0 | (cp >> 12));
              s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
              s += static_cast<char>(0x80 | (cp & 0x3F));
            }
            break;
          }
          default:
            Fail("bad escape");
        }
      }
      if (I >= T.size()) Fail("unterminated string");
      ++I;
      return s;
    }
    TJson Value() {
      Space();
      if (I >= T.size()) Fail("value expected");
      TJson v;
      const char c = T[I];
      if (c == '{') {
        v.Kind = TJson::Object;
        ++I;
        Space();
        if (T[I] == '}') return ++I, v;
        for (;;) {
          Space();
          std::string key = Str();
          Space();
          if (T[I++] != ':') Fail("':' expected");
          v.O[key] = Value();
          Space();
          if (T[I] == ',') {
            ++I;
            continue;
          }
          if (T[I] == '}') return ++I, v;
          Fail("',' or '}' expected");
        }
      }
      if (c == '[') {
        v.Kind = TJson::Array;
        ++I;
        Space();
        if (T[I] == ']') return ++I, v;
        for (;;) {
          v.A.push_back(Value());
          Space();
          if (T[I] == ',') {
            ++I;
            continue;
          }
          if (T[I] == ']') return ++I, v;
          Fail("',' or ']' expected");
        }
      }
      if (c == '"') {
        v.Kind = TJson::String;
        v.S = Str();
        return v;
      }
      if (Take("true")) return v.Kind = TJson::Bool, v.B = true, v;
      if (Take("false")) return v.Kind = TJson::Bool, v;
      if (Take("null")) return v;
      const char *begin = T.c_str() + I;
      char *end = nullptr;
      v.N = std::strtod(begin, &end);
      if (end == begin || !(c == '-' || std::isdigit(static_cast<unsigned char>(c))))
        Fail("bad value");
      v.Kind = TJson::Number;
      I += static_cast<std::size_t>(end - begin);
      return v;
    }
  } r{AText};
  TJson v = r.Value();
  r.Space();
  if (r.I != AText.size()) r.Fail("text after the value");
  return v;
}

}  // namespace qvtest
