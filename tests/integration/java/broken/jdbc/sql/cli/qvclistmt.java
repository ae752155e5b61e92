package jdbc.sql.cli;

/**
 * A statement class whose Java half lacks the field _sql_hstmt: its static
 * initialiser makes the library end the VM.
 */
public class qvclistmt {
    long _sql_hdbc;
    long _sql_numParams;
    long _sql_paramDataArray;
    long _sql_wasnull;
    long _param_wasnull;
    qvcli _parentCli;

    static {
        System.load(System.getProperty("rdadriver.library"));
        initStaticVarsCLISTMT();
    }

    void markConnectionAsBad() {}

    void setNextWarning(qvcliwarning w) {}

    private static native void initStaticVarsCLISTMT();

    public static void main(String[] args) {
        System.out.println("static initialiser passed");
        System.exit(0);
    }
}
