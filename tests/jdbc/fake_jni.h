// A JNI environment for the natives' unit tests, without a JVM: the JNI
// function table filled with what the natives use, over objects of this
// file. It knows the classes of the driver's Java half (qvcli, qvclistmt,
// qvcliexception, qvcliwarning) with their fields and the methods the
// natives call, java.lang.String and IllegalArgumentException.
//
// It holds the natives to the rules a JVM checks: a JNI call other than the
// few allowed while an exception is pending, or a second exception thrown
// over a pending one, is recorded as a fault; every local reference it
// hands out is counted until DeleteLocalRef. FatalError writes its message
// and ends the process with kFatalExit (use it in death tests).
//
//   FakeJvm& jvm = FakeJvm::get();   // one per process, reset per test
//   jobject cli = jvm.newObject("jdbc/sql/cli/qvcli");
//   Java_jdbc_sql_cli_qvcli_nativeSql(jvm.env(), cli, jvm.str(u"x"));
#pragma once

#include <jni.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

inline constexpr int kFatalExit = 86;

struct FakeClass;
struct FakeObject;

struct FakeField {
  std::string name;
  std::string signature;
};

// One argument of a method call: an object or a primitive.
struct FakeArg {
  FakeObject* object = nullptr;
  int64_t integer = 0;
  double real = 0;
};

struct FakeMethod {
  std::string name;
  std::string signature;
  std::function<FakeObject*(FakeObject* self, const std::vector<FakeArg>& args)> body;
};

struct FakeClass {
  std::string name;
  std::vector<std::unique_ptr<FakeField>> fields;
  std::vector<std::unique_ptr<FakeMethod>> methods;
  const FakeField* field(const std::string& name) const;
};

struct FakeObject {
  FakeClass* cls = nullptr;
  FakeClass* classRef = nullptr;  // set when the object is a class reference
  std::map<const FakeField*, int64_t> primitives;
  std::map<const FakeField*, FakeObject*> references;
  std::u16string text;          // java.lang.String
  std::vector<int8_t> bytes;    // byte[]
  std::vector<int32_t> ints;    // int[]
  // Throwables: message, SQLSTATE, native code.
  std::u16string message;
  std::u16string sqlState;
  int32_t code = 0;
  // qvcli and qvclistmt: what the natives reported through their methods.
  std::vector<FakeObject*> warnings;
  int badMarks = 0;
};

class FakeJvm {
 public:
  static FakeJvm& get();
  // Forgets the objects, the pending exception, the faults and the hidden
  // classes, fields and methods of the last test.
  void reset();
  JNIEnv* env() { return &env_; }

  jobject newObject(const std::string& className);
  // A qvclistmt whose _parentCli is `cli` and whose _sql_hdbc is the
  // connection's.
  jobject newStatement(jobject cli);
  jstring str(const std::u16string& text);
  std::u16string text(jobject s) const;

  int64_t& prim(jobject obj, const std::string& field);
  FakeObject*& ref(jobject obj, const std::string& field);
  FakeObject* object(jobject obj) const { return reinterpret_cast<FakeObject*>(obj); }

  // The pending exception (NULL when none); take() clears it.
  FakeObject* pending() const { return pending_; }
  FakeObject* take();
  std::string pendingClass() const;
  // JNI rules broken so far, one line each.
  const std::vector<std::string>& faults() const { return faults_; }
  // Local references handed out and not deleted, and their most at once.
  int liveLocals() const { return liveLocals_; }
  int peakLocals() const { return peakLocals_; }
  void forgetLocals() { liveLocals_ = peakLocals_ = 0; }

  // A class, field or method the Java half lacks in this test.
  void hideClass(const std::string& name) { hiddenClasses_.insert(name); }
  void hideField(const std::string& name) { hiddenFields_.insert(name); }
  void hideMethod(const std::string& name) { hiddenMethods_.insert(name); }
  // setNextWarning throws a RuntimeException instead of taking the warning.
  bool warningThrows = false;

  // ---- Used by the table's functions ----
  FakeClass* findClass(const std::string& name);
  FakeObject* make(FakeClass* cls);
  jobject local(FakeObject* o);
  void deleteLocal(jobject o);
  void fault(const std::string& what) { faults_.push_back(what); }
  // False (and a fault) when a call other than the allowed ones comes while
  // an exception is pending.
  bool enter(const char* function);
  void raise(FakeObject* exception);
  void raise(const std::string& className, const std::u16string& message);
  bool hidden(const FakeClass* cls, const std::string& member, bool method) const;

 private:
  FakeJvm();
  void addClass(const std::string& name, const std::vector<std::pair<std::string, std::string>>& fields);
  void addMethod(const std::string& cls, const std::string& name, const std::string& signature,
                 std::function<FakeObject*(FakeObject*, const std::vector<FakeArg>&)> body);

  JNINativeInterface_ table_{};
  JNIEnv env_{};
  std::map<std::string, std::unique_ptr<FakeClass>> classes_;
  std::vector<std::unique_ptr<FakeObject>> objects_;
  FakeObject* pending_ = nullptr;
  std::vector<std::string> faults_;
  int liveLocals_ = 0;
  int peakLocals_ = 0;
  std::set<std::string> hiddenClasses_;
  std::set<std::string> hiddenFields_;
  std::set<std::string> hiddenMethods_;
};

// UTF-16 of a UTF-8 or wide text, for expectations.
std::u16string u16(const std::wstring& text);
std::string narrow(const std::u16string& text);
