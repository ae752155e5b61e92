#include "fake_jni.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

FakeJvm& J() { return FakeJvm::get(); }
FakeObject* O(jobject o) { return reinterpret_cast<FakeObject*>(o); }
FakeClass* C(jclass c) {
  FakeObject* o = O(c);
  return o != nullptr ? o->classRef : nullptr;
}
const FakeField* F(jfieldID f) { return reinterpret_cast<const FakeField*>(f); }
const FakeMethod* M(jmethodID m) { return reinterpret_cast<const FakeMethod*>(m); }

// The argument types of a method signature, one letter each ('L' for any
// reference).
std::string argumentKinds(const std::string& signature) {
  std::string kinds;
  for (size_t i = 1; i < signature.size() && signature[i] != ')'; ++i) {
    char c = signature[i];
    bool array = false;
    while (c == '[') {
      array = true;
      c = signature[++i];
    }
    if (c == 'L') i = signature.find(';', i);
    kinds += array || c == 'L' ? 'L' : c;
  }
  return kinds;
}

std::vector<FakeArg> readArgs(const FakeMethod* m, va_list ap) {
  std::vector<FakeArg> args;
  for (char k : argumentKinds(m->signature)) {
    FakeArg a;
    switch (k) {
      case 'L': a.object = O(va_arg(ap, jobject)); break;
      case 'J': a.integer = va_arg(ap, jlong); break;
      case 'F':
      case 'D': a.real = va_arg(ap, double); break;
      default: a.integer = va_arg(ap, int); break;
    }
    args.push_back(a);
  }
  return args;
}

std::u16string decodeUtf8(const std::vector<int8_t>& bytes) {
  std::u16string out;
  for (size_t i = 0; i < bytes.size();) {
    const auto b = static_cast<uint8_t>(bytes[i]);
    uint32_t c = b;
    size_t n = 1;
    if (b >= 0xF0 && i + 3 < bytes.size()) {
      c = ((b & 0x07u) << 18) | ((static_cast<uint8_t>(bytes[i + 1]) & 0x3Fu) << 12) |
          ((static_cast<uint8_t>(bytes[i + 2]) & 0x3Fu) << 6) | (static_cast<uint8_t>(bytes[i + 3]) & 0x3Fu);
      n = 4;
    } else if (b >= 0xE0 && i + 2 < bytes.size()) {
      c = ((b & 0x0Fu) << 12) | ((static_cast<uint8_t>(bytes[i + 1]) & 0x3Fu) << 6) |
          (static_cast<uint8_t>(bytes[i + 2]) & 0x3Fu);
      n = 3;
    } else if (b >= 0xC0 && i + 1 < bytes.size()) {
      c = ((b & 0x1Fu) << 6) | (static_cast<uint8_t>(bytes[i + 1]) & 0x3Fu);
      n = 2;
    } else if (b >= 0x80) {
      c = 0xFFFD;
    }
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += n;
  }
  return out;
}

// ---- The function table ----

jclass JNICALL jniFindClass(JNIEnv*, const char* name) {
  if (!J().enter("FindClass")) return nullptr;
  FakeClass* cls = J().findClass(name);
  if (cls == nullptr) {
    J().raise("java/lang/NoClassDefFoundError", u"");
    return nullptr;
  }
  FakeObject* ref = J().make(nullptr);
  ref->classRef = cls;
  return static_cast<jclass>(J().local(ref));
}

jclass JNICALL getObjectClass(JNIEnv*, jobject obj) {
  if (!J().enter("GetObjectClass")) return nullptr;
  FakeObject* ref = J().make(nullptr);
  ref->classRef = O(obj)->cls;
  return static_cast<jclass>(J().local(ref));
}

jfieldID JNICALL getFieldID(JNIEnv*, jclass cls, const char* name, const char* sig) {
  if (!J().enter("GetFieldID")) return nullptr;
  FakeClass* c = C(cls);
  if (c != nullptr && !J().hidden(c, name, false)) {
    for (const auto& f : c->fields)
      if (f->name == name && f->signature == sig) return reinterpret_cast<jfieldID>(f.get());
  }
  J().raise("java/lang/NoSuchFieldError", std::u16string(name, name + std::strlen(name)));
  return nullptr;
}

jmethodID JNICALL getMethodID(JNIEnv*, jclass cls, const char* name, const char* sig) {
  if (!J().enter("GetMethodID")) return nullptr;
  FakeClass* c = C(cls);
  if (c != nullptr && !J().hidden(c, name, true)) {
    for (const auto& m : c->methods)
      if (m->name == name && m->signature == sig) return reinterpret_cast<jmethodID>(m.get());
  }
  J().raise("java/lang/NoSuchMethodError", std::u16string(name, name + std::strlen(name)));
  return nullptr;
}

jlong JNICALL getLongField(JNIEnv*, jobject obj, jfieldID f) {
  J().enter("GetLongField");
  return O(obj)->primitives[F(f)];
}
void JNICALL setLongField(JNIEnv*, jobject obj, jfieldID f, jlong v) {
  if (J().enter("SetLongField")) O(obj)->primitives[F(f)] = v;
}
jint JNICALL getIntField(JNIEnv*, jobject obj, jfieldID f) {
  J().enter("GetIntField");
  return static_cast<jint>(O(obj)->primitives[F(f)]);
}
void JNICALL setIntField(JNIEnv*, jobject obj, jfieldID f, jint v) {
  if (J().enter("SetIntField")) O(obj)->primitives[F(f)] = v;
}
jboolean JNICALL getBooleanField(JNIEnv*, jobject obj, jfieldID f) {
  J().enter("GetBooleanField");
  return O(obj)->primitives[F(f)] != 0 ? JNI_TRUE : JNI_FALSE;
}
void JNICALL setBooleanField(JNIEnv*, jobject obj, jfieldID f, jboolean v) {
  if (J().enter("SetBooleanField")) O(obj)->primitives[F(f)] = v != 0 ? 1 : 0;
}
jobject JNICALL getObjectField(JNIEnv*, jobject obj, jfieldID f) {
  if (!J().enter("GetObjectField")) return nullptr;
  FakeObject* o = O(obj)->references[F(f)];
  return o != nullptr ? J().local(o) : nullptr;
}

jobject call(const char* function, jobject self, jmethodID m, va_list ap) {
  if (!J().enter(function)) return nullptr;
  const FakeMethod* method = M(m);
  const std::vector<FakeArg> args = readArgs(method, ap);
  FakeObject* r = method->body(O(self), args);
  return r != nullptr ? J().local(r) : nullptr;
}

jobject JNICALL newObjectV(JNIEnv*, jclass cls, jmethodID m, va_list ap) {
  if (!J().enter("NewObject")) return nullptr;
  FakeObject* o = J().make(C(cls));
  const FakeMethod* method = M(m);
  method->body(o, readArgs(method, ap));
  return J().local(o);
}
jobject JNICALL callObjectMethodV(JNIEnv*, jobject obj, jmethodID m, va_list ap) {
  return call("CallObjectMethod", obj, m, ap);
}
void JNICALL callVoidMethodV(JNIEnv*, jobject obj, jmethodID m, va_list ap) { call("CallVoidMethod", obj, m, ap); }

jint JNICALL throwObject(JNIEnv*, jthrowable t) {
  if (!J().enter("Throw")) return -1;
  J().raise(O(t));
  return 0;
}
jint JNICALL throwNew(JNIEnv*, jclass cls, const char* message) {
  if (!J().enter("ThrowNew")) return -1;
  FakeObject* e = J().make(C(cls));
  e->message = std::u16string(message, message + std::strlen(message));
  J().raise(e);
  return 0;
}
jboolean JNICALL exceptionCheck(JNIEnv*) { return J().pending() != nullptr ? JNI_TRUE : JNI_FALSE; }
jthrowable JNICALL exceptionOccurred(JNIEnv*) {
  return J().pending() != nullptr ? static_cast<jthrowable>(J().local(J().pending())) : nullptr;
}
void JNICALL exceptionClear(JNIEnv*) { J().take(); }
void JNICALL fatalError(JNIEnv*, const char* message) {
  std::fprintf(stderr, "FATAL ERROR in native method: %s\n", message);
  std::fflush(stderr);
  _exit(kFatalExit);
}
void JNICALL deleteLocalRef(JNIEnv*, jobject obj) { J().deleteLocal(obj); }
jboolean JNICALL isSameObject(JNIEnv*, jobject a, jobject b) {
  J().enter("IsSameObject");
  return a == b ? JNI_TRUE : JNI_FALSE;
}

jsize JNICALL getStringLength(JNIEnv*, jstring s) {
  J().enter("GetStringLength");
  return static_cast<jsize>(O(s)->text.size());
}
void JNICALL getStringRegion(JNIEnv*, jstring s, jsize start, jsize len, jchar* buf) {
  if (!J().enter("GetStringRegion")) return;
  const std::u16string& t = O(s)->text;
  if (start < 0 || len < 0 || static_cast<size_t>(start) + static_cast<size_t>(len) > t.size()) {
    J().raise("java/lang/StringIndexOutOfBoundsException", u"");
    return;
  }
  std::memcpy(buf, t.data() + start, static_cast<size_t>(len) * sizeof(jchar));
}
jstring JNICALL newString(JNIEnv*, const jchar* units, jsize len) {
  if (!J().enter("NewString")) return nullptr;
  FakeObject* s = J().make(J().findClass("java/lang/String"));
  s->text.assign(reinterpret_cast<const char16_t*>(units), static_cast<size_t>(len));
  return static_cast<jstring>(J().local(s));
}
jstring JNICALL newStringUTF(JNIEnv*, const char* utf) {
  if (!J().enter("NewStringUTF")) return nullptr;
  FakeObject* s = J().make(J().findClass("java/lang/String"));
  const size_t n = std::strlen(utf);
  s->text = decodeUtf8(std::vector<int8_t>(utf, utf + n));
  return static_cast<jstring>(J().local(s));
}
jbyteArray JNICALL newByteArray(JNIEnv*, jsize len) {
  if (!J().enter("NewByteArray")) return nullptr;
  FakeObject* a = J().make(nullptr);
  a->bytes.assign(static_cast<size_t>(len), 0);
  return static_cast<jbyteArray>(J().local(a));
}
void JNICALL setByteArrayRegion(JNIEnv*, jbyteArray array, jsize start, jsize len, const jbyte* buf) {
  if (!J().enter("SetByteArrayRegion")) return;
  std::vector<int8_t>& b = O(array)->bytes;
  if (start < 0 || len < 0 || static_cast<size_t>(start) + static_cast<size_t>(len) > b.size()) {
    J().raise("java/lang/ArrayIndexOutOfBoundsException", u"");
    return;
  }
  std::memcpy(b.data() + start, buf, static_cast<size_t>(len));
}
void JNICALL getByteArrayRegion(JNIEnv*, jbyteArray array, jsize start, jsize len, jbyte* buf) {
  if (!J().enter("GetByteArrayRegion")) return;
  const std::vector<int8_t>& b = O(array)->bytes;
  if (start < 0 || len < 0 || static_cast<size_t>(start) + static_cast<size_t>(len) > b.size()) {
    J().raise("java/lang/ArrayIndexOutOfBoundsException", u"");
    return;
  }
  if (len > 0) std::memcpy(buf, b.data() + start, static_cast<size_t>(len));
}
jsize JNICALL getArrayLength(JNIEnv*, jarray array) {
  J().enter("GetArrayLength");
  FakeObject* a = O(array);
  return static_cast<jsize>(a->ints.empty() ? a->bytes.size() : a->ints.size());
}
jintArray JNICALL newIntArray(JNIEnv*, jsize len) {
  if (!J().enter("NewIntArray")) return nullptr;
  FakeObject* a = J().make(nullptr);
  a->ints.assign(static_cast<size_t>(len), 0);
  return static_cast<jintArray>(J().local(a));
}
void JNICALL setIntArrayRegion(JNIEnv*, jintArray array, jsize start, jsize len, const jint* buf) {
  if (!J().enter("SetIntArrayRegion")) return;
  std::vector<int32_t>& v = O(array)->ints;
  if (start < 0 || len < 0 || static_cast<size_t>(start) + static_cast<size_t>(len) > v.size()) {
    J().raise("java/lang/ArrayIndexOutOfBoundsException", u"");
    return;
  }
  std::memcpy(v.data() + start, buf, static_cast<size_t>(len) * sizeof(jint));
}

// Constructor bodies of the throwables: message, SQLSTATE, native code.
FakeObject* throwableInit(FakeObject* self, const std::vector<FakeArg>& a) {
  self->message = a[0].object != nullptr ? a[0].object->text : u"";
  self->sqlState = a[1].object != nullptr ? a[1].object->text : u"";
  self->code = static_cast<int32_t>(a[2].integer);
  return nullptr;
}

}  // namespace

const FakeField* FakeClass::field(const std::string& n) const {
  for (const auto& f : fields)
    if (f->name == n) return f.get();
  return nullptr;
}

FakeJvm& FakeJvm::get() {
  static FakeJvm* jvm = new FakeJvm();
  return *jvm;
}

FakeJvm::FakeJvm() {
  table_.FindClass = jniFindClass;
  table_.GetObjectClass = getObjectClass;
  table_.GetFieldID = getFieldID;
  table_.GetMethodID = getMethodID;
  table_.GetLongField = getLongField;
  table_.SetLongField = setLongField;
  table_.GetIntField = getIntField;
  table_.SetIntField = setIntField;
  table_.GetBooleanField = getBooleanField;
  table_.SetBooleanField = setBooleanField;
  table_.GetObjectField = getObjectField;
  table_.NewObjectV = newObjectV;
  table_.CallObjectMethodV = callObjectMethodV;
  table_.CallVoidMethodV = callVoidMethodV;
  table_.Throw = throwObject;
  table_.ThrowNew = throwNew;
  table_.ExceptionCheck = exceptionCheck;
  table_.ExceptionOccurred = exceptionOccurred;
  table_.ExceptionClear = exceptionClear;
  table_.FatalError = fatalError;
  table_.DeleteLocalRef = deleteLocalRef;
  table_.IsSameObject = isSameObject;
  table_.GetStringLength = getStringLength;
  table_.GetStringRegion = getStringRegion;
  table_.NewString = newString;
  table_.NewStringUTF = newStringUTF;
  table_.NewByteArray = newByteArray;
  table_.SetByteArrayRegion = setByteArrayRegion;
  table_.GetArrayLength = getArrayLength;
  table_.GetByteArrayRegion = getByteArrayRegion;
  table_.NewIntArray = newIntArray;
  table_.SetIntArrayRegion = setIntArrayRegion;
  env_.functions = &table_;

  addClass("jdbc/sql/cli/qvcli", {{"_sql_hdbc", "J"},
                                  {"_sql_henv", "J"},
                                  {"_badConnection", "Z"},
                                  {"_inXATransaction", "Z"},
                                  {"_transactionLevel", "I"},
                                  {"_systemStmt", "Ljdbc/sql/cli/qvclistmt;"}});
  addClass("jdbc/sql/cli/qvclistmt", {{"_sql_hdbc", "J"},
                                      {"_sql_hstmt", "J"},
                                      {"_sql_numParams", "J"},
                                      {"_sql_paramDataArray", "J"},
                                      {"_sql_wasnull", "J"},
                                      {"_param_wasnull", "J"},
                                      {"_parentCli", "Ljdbc/sql/cli/qvcli;"}});
  addClass("jdbc/sql/cli/qvcliexception", {});
  addClass("jdbc/sql/cli/qvcliwarning", {});
  addClass("java/lang/String", {});
  for (const char* name : {"java/lang/IllegalArgumentException", "java/lang/NoClassDefFoundError",
                           "java/lang/NoSuchFieldError", "java/lang/NoSuchMethodError", "java/lang/RuntimeException",
                           "java/lang/StringIndexOutOfBoundsException", "java/lang/ArrayIndexOutOfBoundsException"})
    addClass(name, {});

  const std::string throwableSig = "(Ljava/lang/String;Ljava/lang/String;I)V";
  addMethod("jdbc/sql/cli/qvcliexception", "<init>", throwableSig, throwableInit);
  addMethod("jdbc/sql/cli/qvcliwarning", "<init>", throwableSig, throwableInit);
  auto mark = [this](FakeObject* self, const std::vector<FakeArg>&) -> FakeObject* {
    FakeObject* cli = self;
    if (self->cls->name == "jdbc/sql/cli/qvclistmt")
      cli = self->references[classes_["jdbc/sql/cli/qvclistmt"]->field("_parentCli")];
    if (cli != nullptr) {
      cli->primitives[classes_["jdbc/sql/cli/qvcli"]->field("_badConnection")] = 1;
      ++cli->badMarks;
    }
    return nullptr;
  };
  auto warn = [this](FakeObject* self, const std::vector<FakeArg>& a) -> FakeObject* {
    if (warningThrows) {
      raise("java/lang/RuntimeException", u"setNextWarning threw");
      return nullptr;
    }
    self->warnings.push_back(a[0].object);
    return nullptr;
  };
  for (const char* cls : {"jdbc/sql/cli/qvcli", "jdbc/sql/cli/qvclistmt"}) {
    addMethod(cls, "markConnectionAsBad", "()V", mark);
    addMethod(cls, "setNextWarning", "(Ljdbc/sql/cli/qvcliwarning;)V", warn);
  }
  addMethod("java/lang/String", "<init>", "([B)V", [](FakeObject* self, const std::vector<FakeArg>& a) {
    self->text = decodeUtf8(a[0].object->bytes);
    return static_cast<FakeObject*>(nullptr);
  });
  addMethod("java/lang/String", "concat", "(Ljava/lang/String;)Ljava/lang/String;",
            [this](FakeObject* self, const std::vector<FakeArg>& a) {
              FakeObject* s = make(classes_["java/lang/String"].get());
              s->text = self->text + a[0].object->text;
              return s;
            });
}

void FakeJvm::addClass(const std::string& name, const std::vector<std::pair<std::string, std::string>>& fields) {
  auto cls = std::make_unique<FakeClass>();
  cls->name = name;
  for (const auto& [n, s] : fields) cls->fields.push_back(std::make_unique<FakeField>(FakeField{n, s}));
  classes_[name] = std::move(cls);
}

void FakeJvm::addMethod(const std::string& cls, const std::string& name, const std::string& signature,
                        std::function<FakeObject*(FakeObject*, const std::vector<FakeArg>&)> body) {
  classes_[cls]->methods.push_back(std::make_unique<FakeMethod>(FakeMethod{name, signature, std::move(body)}));
}

void FakeJvm::reset() {
  objects_.clear();
  pending_ = nullptr;
  faults_.clear();
  liveLocals_ = peakLocals_ = 0;
  hiddenClasses_.clear();
  hiddenFields_.clear();
  hiddenMethods_.clear();
  warningThrows = false;
}

FakeClass* FakeJvm::findClass(const std::string& name) {
  if (hiddenClasses_.count(name) != 0) return nullptr;
  auto it = classes_.find(name);
  return it != classes_.end() ? it->second.get() : nullptr;
}

bool FakeJvm::hidden(const FakeClass*, const std::string& member, bool method) const {
  return (method ? hiddenMethods_ : hiddenFields_).count(member) != 0;
}

FakeObject* FakeJvm::make(FakeClass* cls) {
  objects_.push_back(std::make_unique<FakeObject>());
  objects_.back()->cls = cls;
  return objects_.back().get();
}

jobject FakeJvm::local(FakeObject* o) {
  ++liveLocals_;
  if (liveLocals_ > peakLocals_) peakLocals_ = liveLocals_;
  return reinterpret_cast<jobject>(o);
}

void FakeJvm::deleteLocal(jobject o) {
  if (o == nullptr) return;
  if (liveLocals_ == 0) fault("DeleteLocalRef of a reference that was not handed out");
  else --liveLocals_;
}

bool FakeJvm::enter(const char* function) {
  if (pending_ == nullptr) return true;
  fault(std::string(function) + " called with an exception pending");
  return false;
}

void FakeJvm::raise(FakeObject* exception) {
  if (pending_ != nullptr) fault("an exception thrown over a pending one");
  pending_ = exception;
}

void FakeJvm::raise(const std::string& className, const std::u16string& message) {
  FakeObject* e = make(findClass(className));
  e->message = message;
  pending_ = e;
}

FakeObject* FakeJvm::take() {
  FakeObject* e = pending_;
  pending_ = nullptr;
  return e;
}

std::string FakeJvm::pendingClass() const {
  return pending_ != nullptr && pending_->cls != nullptr ? pending_->cls->name : "";
}

jobject FakeJvm::newObject(const std::string& className) { return reinterpret_cast<jobject>(make(findClass(className))); }

jobject FakeJvm::newStatement(jobject cli) {
  jobject s = newObject("jdbc/sql/cli/qvclistmt");
  ref(s, "_parentCli") = object(cli);
  prim(s, "_sql_hdbc") = prim(cli, "_sql_hdbc");
  return s;
}

jstring FakeJvm::str(const std::u16string& text) {
  FakeObject* s = make(findClass("java/lang/String"));
  s->text = text;
  return reinterpret_cast<jstring>(s);
}

std::u16string FakeJvm::text(jobject s) const { return s != nullptr ? object(s)->text : u"<null>"; }

int64_t& FakeJvm::prim(jobject obj, const std::string& field) {
  FakeObject* o = object(obj);
  return o->primitives[o->cls->field(field)];
}

FakeObject*& FakeJvm::ref(jobject obj, const std::string& field) {
  FakeObject* o = object(obj);
  return o->references[o->cls->field(field)];
}

std::u16string u16(const std::wstring& text) {
  std::u16string out;
  for (wchar_t c : text) {
    const auto u = static_cast<uint32_t>(c);
    if (u >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((u - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((u - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(u);
    }
  }
  return out;
}

std::string narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}
