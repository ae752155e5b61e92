package jdbc.sql.cli;

import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.sql.SQLException;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.concurrent.atomic.AtomicInteger;

/**
 * The checks the tests run in a JVM (java -Xcheck:jni), one group per run:
 *
 *   names       prints the JNI name of every native of qvcli and qvclistmt
 *   frame       the bridge without a server: error path, strings, handles,
 *               configuration
 *   threads     natives from four threads at once, 200,000 calls, and a
 *               collection
 *   connect     connections to the peer named by the properties dsn, user,
 *               password and dsn32
 *   statements  statements and results on four connections from four
 *               threads
 *
 * With the property preload.library, that library is loaded first.
 */
public final class JdbcChecks {
    private JdbcChecks() {}

    public static void main(String[] args) throws Exception {
        String preload = System.getProperty("preload.library", "");
        if (!preload.isEmpty()) System.load(preload);
        Checks c = new Checks();
        switch (args.length > 0 ? args[0] : "") {
            case "names":
                names();
                return;
            case "frame":
                frame(c);
                break;
            case "threads":
                threads(c);
                break;
            case "connect":
                connect(c);
                break;
            case "statements":
                statements(c);
                break;
            default:
                System.out.println("usage: JdbcChecks names|frame|threads|connect|statements");
                System.exit(2);
        }
        System.exit(c.finish());
    }

    // ---- JNI names ----

    static String mangle(String s) {
        StringBuilder b = new StringBuilder();
        for (char ch : s.toCharArray()) {
            if (ch == '/' || ch == '.') b.append('_');
            else if (ch == '_') b.append("_1");
            else if (ch == ';') b.append("_2");
            else if (ch == '[') b.append("_3");
            else if ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9')) b.append(ch);
            else b.append(String.format("_0%04x", (int) ch));
        }
        return b.toString();
    }

    static String descriptor(Class<?> t) {
        if (t.isArray()) return "[" + descriptor(t.getComponentType());
        if (t == boolean.class) return "Z";
        if (t == byte.class) return "B";
        if (t == char.class) return "C";
        if (t == short.class) return "S";
        if (t == int.class) return "I";
        if (t == long.class) return "J";
        if (t == float.class) return "F";
        if (t == double.class) return "D";
        return "L" + t.getName().replace('.', '/') + ";";
    }

    static void names() {
        for (Class<?> k : new Class<?>[] {qvcli.class, qvclistmt.class}) {
            Map<String, Integer> overloads = new HashMap<>();
            List<Method> natives = new ArrayList<>();
            for (Method m : k.getDeclaredMethods()) {
                if (!Modifier.isNative(m.getModifiers())) continue;
                natives.add(m);
                overloads.merge(m.getName(), 1, Integer::sum);
            }
            for (Method m : natives) {
                String name = "Java_" + mangle(k.getName()) + "_" + mangle(m.getName());
                if (overloads.get(m.getName()) > 1) {
                    StringBuilder sig = new StringBuilder();
                    for (Class<?> p : m.getParameterTypes()) sig.append(descriptor(p));
                    name += "__" + mangle(sig.toString());
                }
                System.out.println("JNI " + k.getSimpleName() + "." + m.getName() + " " + name);
            }
        }
    }

    // ---- Without a server ----

    static final String ASTRAL = "\uD83D\uDE00";  // U+1F600, a surrogate pair

    static String repeat(String s, int length) {
        StringBuilder b = new StringBuilder();
        while (b.length() < length) b.append(s);
        b.setLength(length);
        return b.toString();
    }

    static void open(qvcli k, String user, String password, String dsn, String connect) throws SQLException {
        k.openConnectionWithProperties(user, password, dsn, connect, false, false, false, false, false, 0, false, 0,
                false, 0);
    }

    /** Rewrites [JDBC] URLSubProtocol of the configuration file (null: no such key). */
    static void setSubProtocol(String value) throws Exception {
        Path ini = Paths.get(System.getenv("MIRODEL_INI"));
        List<String> out = new ArrayList<>();
        boolean placed = false;
        for (String line : Files.readAllLines(ini, StandardCharsets.UTF_8)) {
            if (line.trim().toLowerCase().startsWith("urlsubprotocol")) continue;
            out.add(line);
            if (line.trim().equalsIgnoreCase("[JDBC]") && value != null) {
                out.add("URLSubProtocol=" + value);
                placed = true;
            }
        }
        if (!placed && value != null) {
            out.add("[JDBC]");
            out.add("URLSubProtocol=" + value);
        }
        Files.write(ini, out, StandardCharsets.UTF_8);
    }

    static void frame(Checks c) {
        qvcli cli = new qvcli();
        c.run("initCLI", () -> {
            cli._badConnection = true;
            cli.initCLI();
            c.check("initCLI stores the environment", cli._sql_henv != 0, "_sql_henv 0");
            c.equal("initCLI clears _badConnection", false, cli._badConnection);
            qvcli second = new qvcli();
            second.initCLI();
            c.equal("every initCLI gets the one environment", cli._sql_henv, second._sql_henv);
        });
        c.run("nativeSql", () -> {
            c.expectError("nativeSql(null)", "nativeSql fails:", "", 0, () -> cli.nativeSql(null));
            String sql = repeat("SELECT {fn UCASE(name)}, {d '1999-12-31'} FROM {oj a LEFT OUTER JOIN b ON a.k=b.k} "
                    + "WHERE x LIKE 'a\\%' {escape '\\'}; {call p(?, ?)} {? = call f} ", 32768);
            c.equal("nativeSql returns 32,768 characters unchanged", sql, cli.nativeSql(sql));
            SQLException e = c.expectThrow("nativeSql of 32,769 characters", () -> cli.nativeSql(sql + "x"));
            if (e != null) {
                c.equal("over-long text SQLSTATE", "S1090", e.getSQLState());
                c.check("over-long text names the argument",
                        e.getMessage().contains("Invalid string or buffer length") && e.getMessage().contains("SQL text"),
                        e.getMessage());
            }
            String odd = "a" + ASTRAL + "b\uD800c\uDC00\uFFFFz";
            c.equal("surrogate pairs and lone surrogates come back as they went", odd, cli.nativeSql(odd));
            String astral = repeat(ASTRAL, 2 * 32768);
            c.equal("32,768 characters above U+FFFF (65,536 units) fit", astral, cli.nativeSql(astral));
            SQLException more = c.expectThrow("32,769 characters above U+FFFF",
                    () -> cli.nativeSql(astral + ASTRAL));
            if (more != null) c.equal("the limit counts characters", "S1090", more.getSQLState());
            c.equal("empty text", "", cli.nativeSql(""));
        });
        c.run("Execute(null)", () -> {
            qvclistmt s = new qvclistmt(cli);
            c.expectError("Execute(null) with _sql_hstmt 0", "Execute fails:", "", 0, () -> s.Execute(null));
        });
        c.run("isConnected", () -> {
            qvcli k = new qvcli();
            c.equal("_sql_hdbc 0", false, k.isConnected());
            k._sql_hdbc = 42;
            c.equal("a handle", true, k.isConnected());
            k._badConnection = true;
            c.equal("_badConnection true", false, k.isConnected());
        });
        c.run("bogus connection handle", () -> {
            qvcli k = new qvcli();
            k.initCLI();
            k._sql_hdbc = 0x7654321L;
            c.expectError("getAutoCommit", "getAutoCommit fails:", "", 0, () -> k.getAutoCommit());
            k._transactionLevel = 1;
            c.expectError("internalCommit", "commit fails:", "", 0, () -> {
                k.internalCommit();
                return null;
            });
            c.equal("internalCommit that fails leaves _transactionLevel 0", 0, k._transactionLevel);
            k._transactionLevel = 1;
            c.expectError("internalRollback", "rollback fails:", "", 0, () -> {
                k.internalRollback();
                return null;
            });
            c.equal("internalRollback that fails leaves _transactionLevel 0", 0, k._transactionLevel);
            c.expectError("setCatalog(null)", "setCatalog fails:", "", 0, () -> {
                k.setCatalog(null);
                return null;
            });
            qvclistmt s = new qvclistmt(k);
            s._sql_hstmt = 0x1234567L;
            c.expectError("next on a bogus statement", "next", "", 0, () -> s.next());
            c.expectError("getString on a bogus statement", "getString fails:", "", 0, () -> s.getString(1));
        });
        c.run("openConnectionWithProperties refusals", () -> {
            qvcli k = new qvcli();
            k.initCLI();
            c.expectError("null data source", "openConnectionWithProperties fails:", "", 0, () -> {
                open(k, "u", "p", null, null);
                return null;
            });
            SQLException e = c.expectThrow("33-character data source", () -> {
                open(k, "u", "p", repeat("d", 33), null);
                return null;
            });
            if (e != null) {
                c.equal("33-character data source SQLSTATE", "S1090", e.getSQLState());
                c.check("33-character data source names it", e.getMessage().contains("data source name"),
                        e.getMessage());
            }
            c.equal("nothing was allocated for it", 0L, k._sql_hdbc);
            e = c.expectThrow("user name of 513 characters", () -> {
                open(k, repeat("u", 513), "p", "rdatest", null);
                return null;
            });
            if (e != null) c.equal("user name SQLSTATE", "S1090", e.getSQLState());
        });
        c.run("closeConnection of a connection never connected", () -> {
            qvcli k = new qvcli();
            k.initCLI();
            // No server here: the connect fails (today already at its
            // options), the connection stays allocated.
            try {
                open(k, "u", "p", "rdatest", "");
                c.fail("a connect without a server", "no exception");
            } catch (qvcliexception e) {
                c.pass("a connect without a server fails");
            }
            c.check("the connection stays allocated", k._sql_hdbc != 0, "_sql_hdbc 0");
            c.equal("isConnected", true, k.isConnected());
            k.closeConnection();
            c.equal("closeConnection clears _sql_hdbc", 0L, k._sql_hdbc);
            c.equal("isConnected after closeConnection", false, k.isConnected());
            c.check("the disconnect's warning is chained", k.warnings != null
                    && "08003".equals(k.warnings.getSQLState()), String.valueOf(k.warnings));
        });
        c.run("getSubProtocol", () -> {
            setSubProtocol(null);
            c.equal("without configuration", "Varenta", cli.getSubProtocol());
            setSubProtocol("  Other proto  ");
            c.equal("follows an edited URLSubProtocol, blanks stripped", "Other proto", cli.getSubProtocol());
            setSubProtocol("");
            c.equal("an empty URLSubProtocol", "", cli.getSubProtocol());
            setSubProtocol(null);
            c.equal("back to the default", "Varenta", cli.getSubProtocol());
        });
        c.run("trace settings", () -> {
            c.equal("getTraceLevel", Integer.getInteger("expect.traceLevel", 0), cli.getTraceLevel());
            c.equal("getTraceFileName", System.getProperty("expect.traceFile", ""), cli.getTraceFileName());
        });
        c.run("freeCLI", () -> {
            cli.freeCLI();
            c.pass("freeCLI");
        });
    }

    // ---- Threads ----

    static void threads(Checks c) {
        final int threads = 4;
        final int calls = 50000;
        AtomicInteger made = new AtomicInteger();
        List<String> problems = new ArrayList<>();
        Thread[] ts = new Thread[threads];
        for (int t = 0; t < threads; t++) {
            final int id = t;
            ts[t] = new Thread(() -> {
                try {
                    qvcli k = new qvcli();
                    k.initCLI();
                    made.incrementAndGet();
                    qvclistmt s = new qvclistmt(k);
                    for (int i = 1; i < calls; i++) {
                        made.incrementAndGet();
                        switch (i % 5) {
                            case 0: {
                                String sql = "select " + id + "-" + i + ASTRAL;
                                if (!sql.equals(k.nativeSql(sql))) throw new IllegalStateException("nativeSql " + i);
                                break;
                            }
                            case 1:
                                if (k.isConnected()) throw new IllegalStateException("isConnected " + i);
                                break;
                            case 2:
                                try {
                                    k.nativeSql(null);
                                    throw new IllegalStateException("no exception " + i);
                                } catch (qvcliexception e) {
                                    if (!"nativeSql fails:".equals(e.getMessage()))
                                        throw new IllegalStateException(e.getMessage());
                                }
                                break;
                            case 3:
                                try {
                                    s.Execute(null);
                                    throw new IllegalStateException("no exception " + i);
                                } catch (qvcliexception e) {
                                    if (!"Execute fails:".equals(e.getMessage()))
                                        throw new IllegalStateException(e.getMessage());
                                }
                                break;
                            default:
                                if (s.getFetchSize() <= 0 || k.getTraceLevel() < 0)
                                    throw new IllegalStateException("configuration " + i);
                        }
                        if (i % 10000 == 0) System.gc();
                    }
                } catch (Throwable e) {
                    synchronized (problems) {
                        problems.add(e.toString());
                    }
                }
            });
            ts[t].start();
        }
        for (Thread t : ts) {
            try {
                t.join();
            } catch (InterruptedException e) {
                problems.add(e.toString());
            }
        }
        System.gc();
        c.equal("no thread failed", "[]", problems.toString());
        c.equal("native calls made", threads * calls, made.get());
    }

    // ---- Against the peer ----

    static String prop(String name) {
        String v = System.getProperty(name);
        if (v == null) throw new Checks.Stop("property " + name + " is not set");
        return v;
    }

    static void connect(Checks c) {
        String dsn = prop("dsn");
        String user = prop("user");
        String password = prop("password");
        qvcli k = new qvcli();
        c.run("initCLI", () -> k.initCLI());
        c.run("a wrong password", () -> {
            SQLException e = c.expectThrow("a wrong password", () -> {
                open(k, user, "wrong", dsn, "");
                return null;
            });
            if (e != null) {
                c.check("throws the peer's text", e.getMessage().contains("invalid user name or password"),
                        e.getMessage());
                c.check("the message has the driver's prefix", e.getMessage().startsWith("[Quenlow][Varenta JDBC]"),
                        e.getMessage());
            }
            if (k._sql_hdbc != 0) k.closeConnection();
        });
        c.run("connect with options", () -> {
            k.openConnectionWithProperties(user, password, dsn, "QVAPP=checks" + ASTRAL, false, false, true, false,
                    false, 0, true, 17, true, 2);
            c.equal("isConnected", true, k.isConnected());
            k.closeConnection();
            c.equal("closeConnection clears _sql_hdbc", 0L, k._sql_hdbc);
            c.equal("isConnected after closeConnection", false, k.isConnected());
        });
        c.run("connect without options", () -> {
            open(k, user, password, dsn, "");
            c.equal("isConnected", true, k.isConnected());
            c.equal("getAutoCommit", true, k.getAutoCommit());
            k.closeConnection();
        });
        c.run("a 32-character data source name", () -> {
            open(k, user, password, prop("dsn32"), null);
            c.equal("isConnected", true, k.isConnected());
            k.closeConnection();
        });
        c.run("freeCLI", () -> k.freeCLI());
    }

    static final String LONG_TEXT = repeat("0123456789abcdefghij" + ASTRAL, 10000);

    static void statements(Checks c) {
        String dsn = prop("dsn");
        String user = prop("user");
        String password = prop("password");
        final int threads = 4;
        Thread[] ts = new Thread[threads];
        Checks[] each = new Checks[threads];
        for (int t = 0; t < threads; t++) {
            final Checks mine = each[t] = new Checks();
            ts[t] = new Thread(() -> mine.run("statements", () -> oneConnection(mine, dsn, user, password)));
            ts[t].start();
        }
        for (Thread t : ts) {
            try {
                t.join();
            } catch (InterruptedException e) {
                c.fail("join", e.toString());
            }
        }
        for (Checks e : each) c.absorb(e);
    }

    static void oneConnection(Checks c, String dsn, String user, String password) throws Exception {
        qvcli k = new qvcli();
        k.initCLI();
        open(k, user, password, dsn, "");
        qvclistmt s = new qvclistmt(k);
        c.equal("CREATE TABLE is no query", false, s.Execute("CREATE TABLE t (i INTEGER PRIMARY KEY, v VARCHAR(30000), "
                + "d DOUBLE, b BLOB, dt DATE, tm TIME, ts TIMESTAMP)"));
        c.equal("INSERT is no query", false, s.Execute("INSERT INTO t VALUES (1, '" + LONG_TEXT + "', 1.5, X'00FF10', "
                + "'1999-12-31', '23:59:58', '2001-02-03 04:05:06')"));
        c.equal("getUpdateCount", 1, s.getUpdateCount());
        s.setQueryTimeout(-1);
        c.check("setQueryTimeout(-1) chains a 01S02 warning and returns",
                s.warnings != null && "01S02".equals(s.warnings.getSQLState()), String.valueOf(s.warnings));
        s.Execute("INSERT INTO t VALUES (2, NULL, NULL, X'', NULL, NULL, NULL)");
        c.equal("a query", true, s.Execute("SELECT i, v, d, b, dt, tm, ts FROM t ORDER BY i"));
        c.equal("getColumnCount", 7, s.getColumnCount());
        c.equal("getColumnName", "v", s.getColumnName(2));
        c.equal("getColumnType of the VARCHAR", 12, s.getColumnType(2));
        boolean first;
        try {
            first = s.next();
        } catch (qvcliexception e) {
            // The fetch's failure carries no diagnostic: while the driver's
            // fetch is not built, the first row cannot be had.
            if ("next".equals(e.getMessage())) throw new Checks.Wait("the driver's fetch serves no rows yet");
            throw e;
        }
        c.equal("next: the first row", true, first);
        c.equal("getInt", 1, s.getInt(1));
        c.equal("getInt again reads the column again", 1, s.getInt(1));
        String v = s.getString(2);
        c.equal("a long VARCHAR comes back whole", LONG_TEXT, v);
        c.equal("getDouble", 1.5, s.getDouble(3));
        c.equal("getBytes", "[0, -1, 16]", Arrays.toString(s.getBytes(4)));
        c.equal("getDate", "[1999, 12, 31]", Arrays.toString(s.getDate(5)));
        c.equal("getTime", "[23, 59, 58]", Arrays.toString(s.getTime(6)));
        c.equal("getTimestamp gives seven fields", "[2001, 2, 3, 4, 5, 6, 0]", Arrays.toString(s.getTimestamp(7)));
        SQLException e = c.expectThrow("getBytes on an INTEGER", () -> s.getBytes(1));
        if (e != null) {
            c.equal("getBytes on an INTEGER message", "Unsupported format for getBytes", e.getMessage());
            c.equal("getBytes on an INTEGER SQLSTATE", "22000", e.getSQLState());
        }
        c.equal("next: the second row", true, s.next());
        c.equal("getDouble on NULL", 0.0, s.getDouble(3));
        c.equal("_sql_wasnull after NULL", 1L, s._sql_wasnull);
        c.equal("getInt on a value", 2, s.getInt(1));
        c.equal("_sql_wasnull after a value", 0L, s._sql_wasnull);
        s._sql_wasnull = 7;
        c.equal("getString on NULL", null, s.getString(2));
        c.equal("getString leaves _sql_wasnull", 7L, s._sql_wasnull);
        c.equal("getBytes of an empty value", "[]", Arrays.toString(s.getBytes(4)));
        c.equal("getDate on NULL", null, s.getDate(5));
        c.equal("next: no more rows", false, s.next());

        e = c.expectThrow("a duplicate key", () -> s.Execute("INSERT INTO t (i) VALUES (1)"));
        if (e != null) {
            c.equal("duplicate key SQLSTATE", "23000", e.getSQLState());
            c.check("duplicate key message is the peer's", e.getMessage().contains("UNIQUE"), e.getMessage());
        }

        k.internalSetAutoCommit(false);
        c.equal("getAutoCommit off", false, k.getAutoCommit());
        s.Execute("INSERT INTO t (i) VALUES (3)");
        c.equal("a statement starts the local transaction", 1, k._transactionLevel);
        k.internalRollback();
        c.equal("rollback ends it", 0, k._transactionLevel);
        s.Execute("SELECT COUNT(*) FROM t");
        s.next();
        c.equal("the rolled back row is gone", 2, s.getInt(1));
        s.Execute("INSERT INTO t (i) VALUES (4)");
        k.internalCommit();
        c.equal("commit ends it", 0, k._transactionLevel);
        k.internalSetAutoCommit(true);

        s.Execute("CREATE TABLE u (v VARCHAR(10))");
        s.Execute("INSERT INTO u VALUES ('" + ASTRAL + "')");
        s.Execute("SELECT hex(v) FROM u");
        s.next();
        c.equal("U+1F600 reaches the server as UTF-8", "F09F9880", s.getString(1));
        s.Execute("SELECT CAST(X'F09F9880' AS TEXT)");
        s.next();
        c.equal("U+1F600 comes back as a surrogate pair", ASTRAL, s.getString(1));

        s.closeStmt();
        c.equal("closeStmt clears _sql_hstmt", 0L, s._sql_hstmt);
        k.closeConnection();
        k.freeCLI();
    }
}
